#include "draw.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace reports::charts {
namespace {

constexpr std::array<std::string_view, 7> kPalette = {kBlue,   kOrange, kGreen,   kVermillion,
                                                      kPurple, kSky,    "#000000"};
// Series past the palette's length repeat its colours with another dash.
constexpr std::array<std::string_view, 3> kDashes = {"none", "7 3", "2 3"};
constexpr double kTitleSize = 18.0;
constexpr double kSmallestTitle = 11.0;

// The share of an em a character takes, by the kind of character. Sans-serif faces differ:
// these are about the widest of the common ones (DejaVu Sans), so that text measured here
// does not outgrow its room.
double charWidth(char c) {
  if (c >= '0' && c <= '9') {
    return 0.64;
  }
  if (c == ' ' || c == '.' || c == ',' || c == ':' || c == '(' || c == ')') {
    return 0.34;
  }
  if (c >= 'A' && c <= 'Z') {
    return 0.72;
  }
  return 0.56;
}

// Adds the points (xs[i], ys[i]), last first if backwards.
void addPoints(std::string& points, const std::vector<double>& xs, const std::vector<double>& ys,
               bool backwards = false) {
  if (xs.size() == 1) {
    const double half = backwards ? -10.0 : 10.0;
    svg::addPoint(points, xs[0] - half, ys[0]);
    svg::addPoint(points, xs[0] + half, ys[0]);
    return;
  }
  for (std::size_t k = 0; k < xs.size(); ++k) {
    const std::size_t i = backwards ? xs.size() - 1 - k : k;
    svg::addPoint(points, xs[i], ys[i]);
  }
}

}  // namespace

std::string_view paletteColour(std::size_t index) { return kPalette.at(index % kPalette.size()); }
std::string_view seriesDash(std::size_t index) {
  return kDashes.at(index / kPalette.size() % kDashes.size());
}
int seriesShape(std::size_t index) { return static_cast<int>(index % 4); }

std::string num(double v) { return svg::formatNumber(std::round(v * 10.0) / 10.0); }
std::string pct(double fraction) { return num(fraction * 100.0) + " %"; }

double textWidth(std::string_view text, double fontSize) {
  double ems = 0.0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
      ems += charWidth(c);
    }
  }
  return ems * fontSize;
}

void label(svg::Writer& w, double x, double y, std::string_view text, const TextStyle& style) {
  if (style.halo) {
    w.open("g", {{"stroke", "#ffffff"}, {"stroke-width", 3}, {"paint-order", "stroke"}});
  }
  w.text("text",
         {{"x", x},
          {"y", y},
          {"font-size", style.size},
          {"text-anchor", style.anchor},
          {"fill", style.colour}},
         text);
  if (style.halo) {
    w.close();
  }
}

void rect(svg::Writer& w, const Box& box, std::string_view fill, double opacity) {
  w.empty("rect", {{"x", box.left},
                   {"y", box.top},
                   {"width", box.right - box.left},
                   {"height", box.bottom - box.top},
                   {"fill", fill},
                   {"fill-opacity", opacity}});
}

void line(svg::Writer& w, const Box& ends, std::string_view colour, double width,
          std::string_view dash) {
  w.empty("line", {{"x1", ends.left},
                   {"y1", ends.top},
                   {"x2", ends.right},
                   {"y2", ends.bottom},
                   {"stroke", colour},
                   {"stroke-width", width},
                   {"stroke-dasharray", dash}});
}

void marker(svg::Writer& w, double x, double y, double r, std::string_view colour, int shape) {
  if (shape == 0) {
    w.empty("circle", {{"cx", x}, {"cy", y}, {"r", r}, {"fill", colour}, {"stroke", "#ffffff"}});
    return;
  }
  // Corners in units of r from the centre: a square, a triangle or a diamond.
  std::vector<std::pair<double, double>> corners = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  if (shape == 2) {
    corners = {{0, -1.25}, {1.15, 0.85}, {-1.15, 0.85}};
  } else if (shape == 3) {
    corners = {{0, -1.3}, {1.1, 0}, {0, 1.3}, {-1.1, 0}};
  }
  std::string points;
  for (const auto& [dx, dy] : corners) {
    svg::addPoint(points, x + r * dx, y + r * dy);
  }
  w.empty("polygon", {{"points", points}, {"fill", colour}, {"stroke", "#ffffff"}});
}

void polyline(svg::Writer& w, const std::vector<double>& xs, const std::vector<double>& ys,
              std::string_view colour, double width, std::string_view dash, std::string_view cls) {
  if (xs.empty()) {
    return;
  }
  std::string points;
  addPoints(points, xs, ys);
  w.empty("polyline", {{"class", cls},
                       {"points", points},
                       {"fill", "none"},
                       {"stroke", colour},
                       {"stroke-width", width},
                       {"stroke-dasharray", dash},
                       {"stroke-linejoin", "round"}});
}

void band(svg::Writer& w, const std::vector<double>& xs, const std::vector<double>& lows,
          const std::vector<double>& highs, std::string_view colour, double opacity) {
  if (xs.empty()) {
    return;
  }
  std::string points;
  addPoints(points, xs, highs);
  addPoints(points, xs, lows, true);
  w.empty("polygon", {{"points", points}, {"fill", colour}, {"fill-opacity", opacity}});
}

void startDocument(std::ostream& out, svg::Writer& w, const Page& page) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  // Never wider than the window that shows it: narrower ones scale it down whole.
  w.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
                 {"viewBox", "0 0 800 " + svg::formatNumber(page.height)},
                 {"width", kWidth},
                 {"height", page.height},
                 {"style", "max-width: 100%; height: auto"},
                 {"font-family", "sans-serif"}});
  w.text("title", {}, page.title);
  w.text("desc", {}, page.summary);
  w.empty("rect", {{"width", kWidth}, {"height", page.height}, {"fill", "#ffffff"}});
  // Bold text is about a tenth wider than textWidth's.
  const double room = kWidth - page.left - 12.0;
  const double size =
      std::clamp(std::floor(room / (textWidth(page.title, 1.0) * 1.1)), kSmallestTitle, kTitleSize);
  w.text("text",
         {{"x", page.left},
          {"y", kTitleY},
          {"font-size", size},
          {"font-weight", "bold"},
          {"fill", kInk}},
         page.title);
}

void noData(svg::Writer& w, const Box& plot) {
  label(w, (plot.left + plot.right) / 2.0, (plot.top + plot.bottom) / 2.0, "No data",
        {"middle", kMuted, 14});
}

}  // namespace reports::charts
