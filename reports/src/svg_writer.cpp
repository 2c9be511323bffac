#include "svg_writer.hpp"

#include <array>
#include <charconv>
#include <cmath>

namespace reports::svg {

std::string formatNumber(double value) {
  if (!std::isfinite(value)) {
    return "0";
  }
  // Room for the largest double in fixed notation (309 digits, sign, point, two decimals),
  // so that to_chars cannot fail.
  std::array<char, 320> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, 2);
  std::string text(buffer.data(), result.ptr);
  text.erase(text.find_last_not_of('0') + 1);  // Fixed notation always has a point.
  if (text.back() == '.') {
    text.pop_back();
  }
  if (text == "-0") {
    text = "0";
  }
  return text;
}

std::string escape(std::string_view text) {
  constexpr std::string_view kMarkup = "&<>\"'";
  constexpr std::array<std::string_view, 5> kEntities = {"&amp;", "&lt;", "&gt;", "&quot;",
                                                         "&apos;"};
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const std::size_t markup = kMarkup.find(c);
    if (markup != std::string_view::npos) {
      result += kEntities.at(markup);
    } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
      result += c;
    }
  }
  return result;
}

Writer::~Writer() {
  while (!openTags_.empty()) {
    close();
  }
}

void Writer::startTag(std::string_view tag, Attrs attrs) {
  out_ << '<' << tag;
  for (const Attr& attr : attrs) {
    out_ << ' ' << attr.name << "=\""
         << (attr.isNumber ? formatNumber(attr.number) : escape(attr.text)) << '"';
  }
}

void Writer::open(std::string_view tag, Attrs attrs) {
  startTag(tag, attrs);
  out_ << ">\n";
  openTags_.emplace_back(tag);
}

void Writer::close() {
  out_ << "</" << openTags_.back() << ">\n";
  openTags_.pop_back();
}

void Writer::empty(std::string_view tag, Attrs attrs) {
  startTag(tag, attrs);
  out_ << "/>\n";
}

void Writer::text(std::string_view tag, Attrs attrs, std::string_view content) {
  startTag(tag, attrs);
  out_ << '>' << escape(content) << "</" << tag << ">\n";
}

void addPoint(std::string& points, double x, double y) {
  if (!points.empty()) {
    points += ' ';
  }
  points += formatNumber(x) + ',' + formatNumber(y);
}

}  // namespace reports::svg
