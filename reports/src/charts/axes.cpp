#include "axes.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "labels.hpp"

namespace reports::charts {
namespace {

constexpr double kUsualLeft = 72.0;
constexpr double kTickGap = 7.0;   // Between an axis and its tick labels.
constexpr double kTitleGap = 8.0;  // Between tick labels and the baseline of the axis title.
constexpr double kTitleAscent = 10.0;
constexpr double kPageMargin = 8.0;  // Left of the axis title's glyphs.

// Exact products, so that every platform's maths library gives the same steps.
double powerOfTen(int exponent) {
  double result = 1.0;
  for (int i = 0; i < std::abs(exponent); ++i) {
    result *= 10.0;
  }
  return exponent < 0 ? 1.0 / result : result;
}

struct Unit {
  double size;
  double from;  // The largest label's value from which the unit is used.
  std::string_view suffix;
};
constexpr std::array<Unit, 4> kUnits = {
    {{1e12, 1e12, " T"}, {1e9, 1e9, " G"}, {1e6, 1e6, " M"}, {1e3, 1e4, " k"}}};

// Whether the step is a whole number of tenths of the unit.
bool shows(double step, double unit) {
  const double tenths = step / unit * 10.0;
  return std::abs(tenths - std::round(tenths)) < 1e-6 * tenths;
}

}  // namespace

Ticks niceTicks(double low, double high, int maxTicks) {
  if (!std::isfinite(low) || !std::isfinite(high)) {
    low = 0.0;
    high = 1.0;
  }
  if (high < low) {
    std::swap(low, high);
  }
  if (high == low) {
    const double pad = low == 0.0 ? 1.0 : std::abs(low) * 0.1;
    low -= pad;
    high += pad;
  }
  const double raw = (high - low) / static_cast<double>(std::max(maxTicks, 1));
  Ticks ticks;
  if (!(raw > 1e-300 && raw < 1e300)) {  // Steps this small or large are not drawable.
    ticks.values = {0.0, 1.0};
    return ticks;
  }
  const double magnitude = powerOfTen(static_cast<int>(std::floor(std::log10(raw))));
  ticks.step = 10.0 * magnitude;
  for (const double factor : {1.0, 2.0, 5.0}) {
    if (factor * magnitude >= raw * (1.0 - 1e-9)) {
      ticks.step = factor * magnitude;
      break;
    }
  }
  ticks.low = std::floor(low / ticks.step + 1e-9) * ticks.step;
  ticks.high = std::ceil(high / ticks.step - 1e-9) * ticks.step;
  const long count = std::lround((ticks.high - ticks.low) / ticks.step);
  for (long i = 0; i <= count; ++i) {
    ticks.values.push_back(ticks.low + ticks.step * static_cast<double>(i));
  }
  return ticks;
}

Ticks integerTicks(double low, double high, int maxTicks) {
  Ticks ticks = high - low < 2.0 ? niceTicks(low - 1.0, high + 1.0, maxTicks)
                                 : niceTicks(low, high, maxTicks);
  if (ticks.step < 1.0) {
    ticks = niceTicks(ticks.low, ticks.high, static_cast<int>(ticks.high - ticks.low));
  }
  return ticks;
}

std::vector<std::string> tickLabels(const Ticks& ticks) {
  double largest = 0.0;
  for (const double v : ticks.values) {
    largest = std::max(largest, std::abs(v));
  }
  // An iterator, which only some standard libraries make a pointer.
  // NOLINTNEXTLINE(readability-qualified-auto)
  const auto unit = std::find_if(kUnits.begin(), kUnits.end(), [&](const Unit& u) {
    return largest >= u.from && shows(ticks.step, u.size);
  });
  std::vector<std::string> labels;
  labels.reserve(ticks.values.size());
  for (const double v : ticks.values) {
    if (unit == kUnits.end()) {
      labels.push_back(svg::formatNumber(v));
      continue;
    }
    labels.push_back(svg::formatNumber(v / unit->size));
    if (labels.back() != "0") {
      labels.back() += unit->suffix;
    }
  }
  return labels;
}

double widest(const std::vector<std::string>& labels) {
  double width = 0.0;
  for (const std::string& text : labels) {
    width = std::max(width, textWidth(text, 12.0));
  }
  return width;
}

double plotLeft(double widestLabel) {
  return std::max(kUsualLeft,
                  kPageMargin + kTitleAscent + kTitleGap + widestLabel + kTickGap + 3.0);
}

void yAxis(svg::Writer& w, const Box& plot, const YAxis& axis) {
  const bool right = axis.side == Side::kRight;
  const double axisX = right ? plot.right : plot.left;
  w.open("g", {{"class", right ? "y-axis-right" : "y-axis"}});
  const std::vector<std::string> labels = tickLabels(axis.ticks);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const double y = axis.scale(axis.ticks.values[i]);
    if (right) {
      line(w, {plot.right, y, plot.right + 4, y}, kMuted, 1);
    } else {
      line(w, {plot.left, y, plot.right, y}, kGrid, 1);
    }
    label(w, right ? plot.right + kTickGap : plot.left - kTickGap, y + 4, labels[i],
          {right ? "start" : "end", kMuted});
  }
  // The title's glyphs stand on its baseline, towards the page's edge.
  const double reach = kTickGap + axis.widestLabel + kTitleGap;
  const double x = right ? plot.right + reach + 3.0 : plot.left - reach - 3.0;
  const double y = (plot.top + plot.bottom) / 2.0;
  const std::string rotate = std::string(right ? "rotate(90 " : "rotate(-90 ") +
                             svg::formatNumber(x) + " " + svg::formatNumber(y) + ")";
  w.text("text",
         {{"x", x},
          {"y", y},
          {"font-size", 13},
          {"text-anchor", "middle"},
          {"fill", kMuted},
          {"transform", rotate}},
         axis.title);
  line(w, {axisX, plot.top, axisX, plot.bottom}, kMuted, 1);
  w.close();
}

void xAxis(svg::Writer& w, const Box& plot, const Scale& s, const Ticks& t,
           std::string_view title) {
  w.open("g", {{"class", "x-axis"}});
  const std::vector<std::string> labels = tickLabels(t);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const double x = s(t.values[i]);
    if (x < plot.left - 0.5 || x > plot.right + 0.5) {
      continue;
    }
    line(w, {x, plot.top, x, plot.bottom}, kGrid, 1);
    label(w, x, plot.bottom + 17, labels[i], {"middle", kMuted});
  }
  line(w, {plot.left, plot.bottom, plot.right, plot.bottom}, kMuted, 1);
  if (!title.empty()) {
    label(w, (plot.left + plot.right) / 2.0, plot.bottom + 37, title, {"middle", kMuted, 13});
  }
  w.close();
}

Scale categoryScale(const Box& plot, std::size_t count) {
  return {-0.5, static_cast<double>(count) - 0.5, plot.left, plot.right};
}

void categoryAxis(svg::Writer& w, const Box& plot, const std::vector<std::string>& names,
                  std::string_view title) {
  w.open("g", {{"class", "x-axis categories"}});
  const Scale s = categoryScale(plot, names.size());
  const double slot = s(1.0) - s(0.0);
  // A name too long for its slot is set smaller.
  const double size =
      std::min(12.0, std::floor(12.0 * (slot - 8.0) / std::max(widest(names), 1.0)));
  for (std::size_t i = 0; i < names.size(); ++i) {
    const double middle = s(static_cast<double>(i));
    if (i > 0) {
      line(w, {middle - slot / 2.0, plot.top, middle - slot / 2.0, plot.bottom}, kGrid, 1);
    }
    label(w, middle, plot.bottom + 17, names[i], {"middle", kInk, size});
  }
  line(w, {plot.left, plot.bottom, plot.right, plot.bottom}, kMuted, 1);
  label(w, (plot.left + plot.right) / 2.0, plot.bottom + 37, title, {"middle", kMuted, 13});
  w.close();
}

void levelsAcross(svg::Writer& w, const Box& plot, const Scale& sy,
                  const std::vector<Level>& levels) {
  // A name and its value take 27 px; the x axis's labels start 8 px below the plot.
  constexpr double kHeight = 27.0;
  constexpr double kAbove = 12.0;  // From the top of a name to its line.
  std::vector<Level> drawn;
  std::vector<Span> spans;
  for (const Level& level : levels) {
    const double y = sy(level.value);
    if (y >= plot.top && y <= plot.bottom) {
      drawn.push_back(level);
      spans.push_back({y - kAbove, kHeight});
    }
  }
  const std::vector<double> tops = spread(spans, {plot.top - 4.0, plot.bottom + 2.0}, 3.0);
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const double y = sy(drawn[i].value);
    const double x = plot.right + 6.0;
    line(w, {plot.left, y, plot.right, y}, drawn[i].colour, 1.5, "6 4");
    if (std::abs(tops[i] + kAbove - y) > 4.0) {
      line(w, {plot.right, y, x - 1.0, tops[i] + kAbove}, drawn[i].colour, 1);
    }
    label(w, x, tops[i] + 10.0, drawn[i].name, {"start", drawn[i].colour});
    label(w, x, tops[i] + 24.0, num(drawn[i].value) + std::string(drawn[i].unit),
          {"start", drawn[i].colour});
  }
}

void levelsUpright(svg::Writer& w, const Box& plot, const Scale& sx,
                   const std::vector<Level>& levels) {
  std::vector<Level> drawn;
  std::vector<Span> spans;
  std::vector<std::string> texts;
  for (const Level& level : levels) {
    const double x = sx(level.value);
    if (x >= plot.left && x <= plot.right) {
      drawn.push_back(level);
      texts.push_back(std::string(level.name) + " " + num(level.value) + std::string(level.unit));
      // Right of its line, or left of it where the plot ends.
      const double width = textWidth(texts.back(), 12.0);
      spans.push_back({x + 4.0 + width <= plot.right ? x + 4.0 : x - 4.0 - width, width});
    }
  }
  const std::vector<int> rows = stack(spans, 6.0);
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const double x = sx(drawn[i].value);
    line(w, {x, plot.top, x, plot.bottom}, drawn[i].colour, 1.5, "6 4");
    label(w, spans[i].wanted, plot.top + 14.0 + 15.0 * static_cast<double>(rows[i]), texts[i],
          {"start", drawn[i].colour, 12, true});
  }
}

}  // namespace reports::charts
