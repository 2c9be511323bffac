// A sweep's chart: ever overheated against what the sweep varies, a series for each other
// combination, with the accepted level and the picked designs; below it, with a baseline, each
// design's difference from it.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "axes.hpp"
#include "labels.hpp"
#include "legend.hpp"
#include "reports/charts.hpp"

namespace reports::charts {
namespace {

constexpr double kRight = 728.0;
constexpr double kPlotHeight = 380.0;
constexpr double kRing = 10.0;  // The radius of a picked design's ring.
// The differences' panel: its title below the x axis's title, its plot below the title.
constexpr double kDifferenceTitle = 72.0;  // Below the main plot.
constexpr double kDifferenceTop = 86.0;
constexpr double kDifferenceHeight = 200.0;

bool categorical(const SweepChart& chart) { return !chart.xCategories.empty(); }

// A point's place on the x axis as its labels say it.
std::string xText(const SweepChart& chart, double x) {
  return categorical(chart) ? chart.xCategories.at(static_cast<std::size_t>(x)) : num(x);
}

std::string sweepSummary(const SweepChart& chart) {
  const std::size_t n = chart.series.size();
  std::string summary = "Share of runs that ever overheated against " + chart.xLabel + ", for " +
                        std::to_string(n) + (n == 1 ? " combination." : " combinations.");
  for (const SweepSeries& s : chart.series) {
    for (const SweepPoint& p : s.points) {
      summary += " " + s.label + " at " + xText(chart, p.x) + ": " + pct(p.everOverheated.value) +
                 (p.picked ? " (picked);" : ";");
    }
  }
  if (chart.maxOverheat) {
    summary += " Accepted at most: " + pct(*chart.maxOverheat) + ".";
  }
  if (!chart.versus.empty()) {
    summary += " Less the same design with " + chart.versus + ":";
    for (const SweepSeries& s : chart.series) {
      for (const SweepPoint& p : s.points) {
        summary +=
            " " + s.label + " at " + xText(chart, p.x) + ": " + pct(p.difference.value) + ";";
      }
    }
  }
  return summary;
}

// Series side by side at a shared x, so that their whiskers do not hide each other: on a
// numeric axis at most 5 px apart and together within 60 % of the narrowest gap between
// points, in a category's slot at most 14 px apart and together within 60 % of the slot.
double dodgeStep(const SweepChart& chart, const Scale& sx, std::vector<double> xs) {
  const auto n = static_cast<double>(chart.series.size());
  if (categorical(chart)) {
    return std::min(14.0, 0.6 * (sx(1.0) - sx(0.0)) / n);
  }
  if (n < 2.0) {
    return 0.0;
  }
  std::sort(xs.begin(), xs.end());
  double gap = 40.0;
  for (std::size_t i = 1; i < xs.size(); ++i) {
    if (sx(xs[i]) - sx(xs[i - 1]) > 0.5) {
      gap = std::min(gap, sx(xs[i]) - sx(xs[i - 1]));
    }
  }
  return std::min(5.0, 0.6 * gap / n);
}

// The x axis: a slot for each category, or round ticks over the values, whole when they are.
struct XAxis {
  Scale scale;
  Ticks ticks;
};

XAxis xAxisOf(const SweepChart& chart, const Box& plot, const std::vector<double>& xs) {
  if (categorical(chart)) {
    return {categoryScale(plot, chart.xCategories.size()), {}};
  }
  const auto [minX, maxX] = std::minmax_element(xs.begin(), xs.end());
  const bool whole = std::all_of(xs.begin(), xs.end(), [](double x) { return x == std::floor(x); });
  const double low = xs.empty() ? 0.0 : *minX;
  const double high = xs.empty() ? 1.0 : *maxX;
  Ticks ticks = niceTicks(low, high, 10);
  if (whole) {
    ticks = integerTicks(low, high, 10);
  }
  return {{ticks.low, ticks.high, plot.left + 16.0, plot.right - 16.0}, ticks};
}

// What the series drew, for the picked designs' labels to keep clear of.
struct Drawn {
  Obstacles obstacles;
  std::vector<LabelRequest> picks;
  std::vector<std::string> texts;
  std::vector<std::string_view> colours;  // Of each pick's series.
};

// The whisker of a 95 % interval from low to high at x, with caps.
void whisker(svg::Writer& w, double x, const Interval& interval, std::string_view colour) {
  std::string d = "M";
  svg::addPoint(d, x - 3.0, interval.low);
  d += " h6 m-3,0 V";
  d += svg::formatNumber(interval.high);
  d += " m-3,0 h6";
  w.empty("path", {{"class", "whisker"},
                   {"d", d},
                   {"fill", "none"},
                   {"stroke", colour},
                   {"stroke-width", 1.2}});
}

struct SeriesStyle {
  std::size_t index;
  double offset;  // Its dodge.
  bool labelled;  // Whether its picked designs' labels name it.
};

// What a panel draws of each point, on which scales.
struct Panel {
  Scale sx;
  Scale sy;  // In percent.
  Share SweepPoint::*share = &SweepPoint::everOverheated;
  bool rings = true;  // Around picked points.
};

// One series: its line on a numeric axis, each point with its 95 % whisker, a ring around
// picked points.
void sweepSeries(svg::Writer& w, const SweepChart& chart, const SweepSeries& series,
                 const Panel& panel, const SeriesStyle& style, Drawn& drawn) {
  const Scale& sx = panel.sx;
  const Scale& sy = panel.sy;
  const std::string_view colour = paletteColour(style.index);
  std::vector<SweepPoint> points = series.points;
  std::sort(points.begin(), points.end(),
            [](const SweepPoint& a, const SweepPoint& b) { return a.x < b.x; });
  const auto x = [&](const SweepPoint& p) { return sx(p.x) + style.offset; };
  const auto y = [&](const SweepPoint& p) { return sy((p.*panel.share).value * 100.0); };
  w.open("g", {{"class", "series"}});
  if (!categorical(chart)) {
    std::vector<double> xs;
    std::vector<double> ys;
    for (const SweepPoint& p : points) {
      xs.push_back(x(p));
      ys.push_back(y(p));
    }
    polyline(w, xs, ys, colour, 1.8, seriesDash(style.index), "series-line");
    for (std::size_t i = 1; i < points.size(); ++i) {
      drawn.obstacles.lines.push_back({xs[i - 1], ys[i - 1], xs[i], ys[i]});
    }
  }
  for (const SweepPoint& p : points) {
    const double low = sy((p.*panel.share).low * 100.0);
    const double high = sy((p.*panel.share).high * 100.0);
    whisker(w, x(p), {low, high}, colour);
    marker(w, x(p), y(p), 4.5, colour, seriesShape(style.index));
    drawn.obstacles.boxes.push_back({x(p) - 4.0, high, x(p) + 4.0, low});
    drawn.obstacles.boxes.push_back({x(p) - 6.0, y(p) - 6.0, x(p) + 6.0, y(p) + 6.0});
    if (p.picked && panel.rings) {
      w.empty("circle", {{"class", "picked"},
                         {"cx", x(p)},
                         {"cy", y(p)},
                         {"r", kRing},
                         {"fill", "none"},
                         {"stroke", kInk},
                         {"stroke-width", 2}});
      const double around = kRing + 1.0;
      drawn.obstacles.boxes.push_back({x(p) - around, y(p) - around, x(p) + around, y(p) + around});
      drawn.texts.push_back((style.labelled ? series.label + ": " : std::string()) +
                            xText(chart, p.x) + " → " + pct(p.everOverheated.value));
      drawn.picks.push_back({x(p), y(p), textWidth(drawn.texts.back(), 12.0) + 4.0, 16.0, 12.0});
      drawn.colours.push_back(colour);
    }
  }
  w.close();
}

// Each picked design's label where the placing rules put it, tied to its ring by a line in its
// series' colour when it had to move away.
void pickLabels(svg::Writer& w, const Box& plot, const Drawn& drawn) {
  const Box area{plot.left + 2.0, plot.top + 2.0, plot.right - 2.0, plot.bottom - 2.0};
  const std::vector<Box> places = placeLabels(area, drawn.obstacles, drawn.picks);
  w.open("g", {{"class", "picked-labels"}});
  for (std::size_t i = 0; i < places.size(); ++i) {
    const LabelRequest& pick = drawn.picks[i];
    const Box& b = places[i];
    const double nearX = std::clamp(pick.x, b.left, b.right);
    const double nearY = std::clamp(pick.y, b.top, b.bottom);
    // Square roots are exact to the last bit everywhere.
    const double distance =
        std::sqrt((nearX - pick.x) * (nearX - pick.x) + (nearY - pick.y) * (nearY - pick.y));
    if (distance > pick.clearance + 6.0) {
      const double out = kRing / distance;
      line(w, {pick.x + (nearX - pick.x) * out, pick.y + (nearY - pick.y) * out, nearX, nearY},
           drawn.colours[i], 1.5);
    }
    label(w, b.left + 2.0, b.bottom - 4.0, drawn.texts[i], {"start", kInk, 12, true});
  }
  w.close();
}

// The differences' round ticks, over the lowest to the highest end of their intervals and 0.
Ticks differenceTicks(const SweepChart& chart) {
  double low = 0.0;
  double high = 0.0;
  for (const SweepSeries& s : chart.series) {
    for (const SweepPoint& p : s.points) {
      low = std::min(low, p.difference.low * 100.0);
      high = std::max(high, p.difference.high * 100.0);
    }
  }
  // Some room beyond the ends, so that 0 never lies on the plot's edge.
  const double room = 0.08 * (high - low);
  return niceTicks(low - room, high + room, 6);
}

// The main plot's x axis and its series' dodge, which the differences share.
struct Along {
  XAxis x;
  double dodge = 0.0;
};

// Below the main plot: each point's difference from its baseline, with its whisker, along the
// same x axis, and a line at 0; returns where the panel ends.
double differencePanel(svg::Writer& w, const SweepChart& chart, const Box& above,
                       const Along& along, double widestLabel) {
  const std::size_t n = chart.series.size();
  w.open("g", {{"class", "difference-panel"}});
  label(w, above.left, above.bottom + kDifferenceTitle, "Δ ever overheated against " + chart.versus,
        {"start", kInk, 14});
  const Box g{above.left, above.bottom + kDifferenceTop, above.right,
              above.bottom + kDifferenceTop + kDifferenceHeight};
  const Ticks ticks = differenceTicks(chart);
  const Scale sy{ticks.low, ticks.high, g.bottom, g.top};
  yAxis(w, g, {sy, ticks, "Δ runs ever overheated (points)", Side::kLeft, widestLabel});
  if (categorical(chart)) {
    categoryAxis(w, g, chart.xCategories, chart.xLabel);
  } else {
    xAxis(w, g, along.x.scale, along.x.ticks, chart.xLabel);
  }
  w.open("g", {{"class", "zero-line"}});
  line(w, {g.left, sy(0.0), g.right, sy(0.0)}, kInk, 1.2);
  w.close();
  Drawn drawn;  // Nothing is placed around the differences.
  for (std::size_t i = 0; i < n; ++i) {
    const double offset = (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0) * along.dodge;
    sweepSeries(w, chart, chart.series[i], {along.x.scale, sy, &SweepPoint::difference, false},
                {i, offset, n > 1}, drawn);
  }
  w.close();
  return g.bottom;
}

}  // namespace

void writeSweepChart(std::ostream& out, const SweepChart& chart) {
  const std::size_t n = chart.series.size();
  std::vector<LegendItem> seriesLegend;
  std::vector<double> allX;
  double widestItem = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const SweepSeries& s = chart.series[i];
    seriesLegend.push_back(
        categorical(chart)
            ? LegendItem{s.label, paletteColour(i), Swatch::kMarker, "none", 1.0, seriesShape(i)}
            : LegendItem{s.label, paletteColour(i), Swatch::kLine, seriesDash(i), 1.0,
                         seriesShape(i)});
    widestItem = std::max(widestItem, itemWidth(seriesLegend.back()));
    for (const SweepPoint& p : s.points) {
      allX.push_back(p.x);
    }
  }
  const bool versus = !chart.versus.empty();
  const Ticks yTicks = niceTicks(0, 100, 10);
  double widestLabel = widest(tickLabels(yTicks));
  if (versus) {
    widestLabel = std::max(widestLabel, widest(tickLabels(differenceTicks(chart))));
  }
  const double left = plotLeft(widestLabel);
  const int columns =
      std::clamp(static_cast<int>((kRight - left) / std::max(widestItem, 1.0)), 1, 4);
  const double height = 540.0 + 20.0 * static_cast<double>(legendRows(n, columns)) +
                        (versus ? kDifferenceTop + kDifferenceHeight : 0.0);
  svg::Writer w(out);
  startDocument(out, w,
                page(chart, height, left, "Ever overheated by design", sweepSummary(chart)));
  std::vector<LegendItem> key = {{"95 % interval", kInk, Swatch::kWhisker},
                                 {"Picked design (x → share)", kInk, Swatch::kRing}};
  std::string limitKey;
  if (chart.maxOverheat) {
    limitKey = "Most accepted: " + pct(*chart.maxOverheat);
    key.push_back({limitKey, kMuted, Swatch::kLine, "8 4"});
  }
  const double top = 64.0 + legend(w, {left, 64, kRight}, key);
  const Box f{left, top, kRight, top + kPlotHeight};
  const XAxis x = xAxisOf(chart, f, allX);
  const Scale sy{0, 100, f.bottom, f.top};
  yAxis(w, f, {sy, yTicks, "Runs ever overheated (%)", Side::kLeft, widestLabel});
  if (categorical(chart)) {
    categoryAxis(w, f, chart.xCategories, chart.xLabel);
  } else {
    xAxis(w, f, x.scale, x.ticks, chart.xLabel);
  }
  Drawn drawn;
  if (chart.maxOverheat) {
    levelsAcross(w, f, sy, {{"Limit", *chart.maxOverheat * 100.0, kMuted, " %"}});
    const double limitY = sy(*chart.maxOverheat * 100.0);
    drawn.obstacles.lines.push_back({f.left, limitY, f.right, limitY});
  }
  const double dodge = dodgeStep(chart, x.scale, allX);
  for (std::size_t i = 0; i < n; ++i) {
    const double offset = (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0) * dodge;
    sweepSeries(w, chart, chart.series[i], {x.scale, sy}, {i, offset, n > 1}, drawn);
  }
  pickLabels(w, f, drawn);
  if (allX.empty()) {
    noData(w, f);
  }
  double bottom = f.bottom;
  if (versus) {
    bottom = differencePanel(w, chart, f, {x, dodge}, widestLabel);
  }
  legend(w, {left, bottom + 70, kRight, columns}, seriesLegend);
}

}  // namespace reports::charts
