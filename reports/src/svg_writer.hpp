// A tiny SVG/XML writer. Output is byte-for-byte the same on every platform: numbers are
// formatted with std::to_chars (no locale), and nothing but strings reaches the stream.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace reports::svg {

// Fixed notation, at most two decimals, trailing zeros dropped, never "-0"; NaN/inf give "0".
std::string formatNumber(double value);

// Escapes & < > " ' and drops control characters that XML 1.0 forbids.
std::string escape(std::string_view text);

// An attribute's text, or a number formatted when it is written. It only refers to its text
// (which lives until the end of the call it is written in), so a list of them frees nothing.
struct Attr {
  Attr(const char* attrName, std::string_view attrText) : name(attrName), text(attrText) {}
  Attr(const char* attrName, double attrNumber)
      : name(attrName), number(attrNumber), isNumber(true) {}
  Attr(const char* attrName, int attrNumber) : Attr(attrName, static_cast<double>(attrNumber)) {}
  std::string_view name;
  std::string_view text;
  double number = 0.0;
  bool isNumber = false;
};
using Attrs = std::initializer_list<Attr>;

// Writes one element per line; close() ends the innermost element that open() started.
class Writer {
 public:
  explicit Writer(std::ostream& out) : out_(out) {}
  Writer(const Writer&) = delete;
  Writer(Writer&&) = delete;
  Writer& operator=(const Writer&) = delete;
  Writer& operator=(Writer&&) = delete;
  ~Writer();  // Closes what is still open.

  void open(std::string_view tag, Attrs attrs = {});
  void close();
  void empty(std::string_view tag, Attrs attrs = {});
  void text(std::string_view tag, Attrs attrs, std::string_view content);

 private:
  void startTag(std::string_view tag, Attrs attrs);
  std::ostream& out_;
  std::vector<std::string> openTags_;
};

// Adds a point to a points list "x,y x,y ..." for <polyline> and <polygon>.
void addPoint(std::string& points, double x, double y);

}  // namespace reports::svg
