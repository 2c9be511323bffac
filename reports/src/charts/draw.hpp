// What every chart draws with: the page, its colours, scales from data to pixels, text and
// shapes. Internal to the charts; the tests include it as they include svg_writer.hpp.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "../svg_writer.hpp"

namespace reports::charts {

constexpr double kWidth = 800.0;
constexpr double kTitleY = 32.0;
constexpr std::string_view kInk = "#222222";
constexpr std::string_view kMuted = "#555555";
constexpr std::string_view kGrid = "#e6e6e6";
// Okabe-Ito colours, safe for colour-blind readers (yellow left out: too pale on white).
constexpr std::string_view kBlue = "#0072B2";
constexpr std::string_view kSky = "#56B4E9";
constexpr std::string_view kOrange = "#E69F00";
constexpr std::string_view kVermillion = "#D55E00";
constexpr std::string_view kGreen = "#009E73";
constexpr std::string_view kPurple = "#CC79A7";

// A series' colour, and past the palette's length its dash; its marker shape.
std::string_view paletteColour(std::size_t index);
std::string_view seriesDash(std::size_t index);
int seriesShape(std::size_t index);

// A rectangle in pixels; y grows downwards.
struct Box {
  double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
};

// From low to high along one direction.
struct Interval {
  double low = 0.0, high = 0.0;
};

// Maps data values [low, high] linearly onto pixels [lowPixel, highPixel].
struct Scale {
  double low = 0.0, high = 1.0, lowPixel = 0.0, highPixel = 1.0;
  double operator()(double v) const {
    return lowPixel + (v - low) / (high - low) * (highPixel - lowPixel);
  }
};

// Numbers as the charts print them: one decimal; shares as percent.
std::string num(double v);
std::string pct(double fraction);

// Rough width of sans-serif text, generous for digits and capitals; UTF-8 continuation bytes
// start no new character.
double textWidth(std::string_view text, double fontSize);

// Text at (x, y), its baseline; a halo (white outline) keeps it readable over lines.
struct TextStyle {
  std::string_view anchor = "start";
  std::string_view colour = kInk;
  double size = 12.0;
  bool halo = false;
};
void label(svg::Writer& w, double x, double y, std::string_view text, const TextStyle& style);

void rect(svg::Writer& w, const Box& box, std::string_view fill, double opacity = 1.0);
void line(svg::Writer& w, const Box& ends, std::string_view colour, double width,
          std::string_view dash = "none");

// Shapes 0-3: circle, square, triangle, diamond, so that series differ in more than colour.
void marker(svg::Writer& w, double x, double y, double r, std::string_view colour, int shape);

// A polyline through (xs[i], ys[i]); a single point becomes a level stretch 20 px wide, so that
// it stays visible.
void polyline(svg::Writer& w, const std::vector<double>& xs, const std::vector<double>& ys,
              std::string_view colour, double width, std::string_view dash, std::string_view cls);

// The area between two lines over the same xs.
void band(svg::Writer& w, const std::vector<double>& xs, const std::vector<double>& lows,
          const std::vector<double>& highs, std::string_view colour, double opacity);

// The XML declaration, the root with its title and description, a white page and the title,
// its font shrunk until it fits the page.
struct Page {
  double height;
  double left;  // Where the title starts.
  std::string_view title;
  std::string summary;
};
void startDocument(std::ostream& out, svg::Writer& w, const Page& page);

// The chart's own title or a generic one; the summary ends with the chart's description.
template <typename Chart>
Page page(const Chart& chart, double height, double left, std::string_view genericTitle,
          std::string summary) {
  if (!chart.description.empty()) {
    summary += " " + chart.description;
  }
  return {height, left, chart.title.empty() ? genericTitle : std::string_view(chart.title),
          std::move(summary)};
}

void noData(svg::Writer& w, const Box& plot);

template <typename T, typename Get>
std::vector<double> mapped(const std::vector<T>& items, const Scale& s, Get get) {
  std::vector<double> result;
  result.reserve(items.size());
  for (const T& item : items) {
    result.push_back(s(get(item)));
  }
  return result;
}

}  // namespace reports::charts
