#include "reports/charts.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "svg_writer.hpp"

namespace reports::charts {
namespace {

constexpr double kWidth = 800.0;
constexpr double kLeft = 72.0;
constexpr double kRight = 728.0;
constexpr std::string_view kInk = "#222222";
constexpr std::string_view kMuted = "#555555";
constexpr std::string_view kGrid = "#e6e6e6";
// Okabe-Ito colours (yellow left out: too pale on white).
constexpr std::string_view kBlue = "#0072B2";
constexpr std::string_view kSky = "#56B4E9";
constexpr std::string_view kOrange = "#E69F00";
constexpr std::string_view kVermillion = "#D55E00";
constexpr std::string_view kGreen = "#009E73";
constexpr std::string_view kPurple = "#CC79A7";
constexpr std::array<std::string_view, 7> kPalette = {kBlue,   kOrange, kGreen,   kVermillion,
                                                      kPurple, kSky,    "#000000"};
constexpr std::array<std::string_view, 3> kDashes = {"none", "7 3", "2 3"};

struct Frame {
  double left, top, right, bottom;
};

struct Scale {
  double d0, d1, r0, r1;
  double operator()(double v) const { return r0 + (v - d0) / (d1 - d0) * (r1 - r0); }
};

std::string num(double v) { return svg::formatNumber(std::round(v * 10.0) / 10.0); }
std::string pct(double fraction) { return num(fraction * 100.0) + " %"; }

double textWidth(std::string_view text, double fontSize) {
  double chars = 0.0;
  for (char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) == 0x80 ? 0.0 : 1.0;
  return chars * fontSize * 0.56;
}

// Exact products, so that every platform's maths library gives the same steps.
double powerOfTen(int exponent) {
  double result = 1.0;
  for (int i = 0; i < std::abs(exponent); ++i) result *= 10.0;
  return exponent < 0 ? 1.0 / result : result;
}

Ticks integerTicks(double low, double high, int maxTicks) {
  Ticks ticks = high - low < 2.0 ? niceTicks(low - 1.0, high + 1.0, maxTicks)
                                 : niceTicks(low, high, maxTicks);
  if (ticks.step < 1.0)
    ticks = niceTicks(ticks.low, ticks.high, static_cast<int>(ticks.high - ticks.low));
  return ticks;
}

void label(svg::Writer& w, double x, double y, std::string_view text, std::string_view anchor,
           std::string_view colour, int size = 12, bool halo = false) {
  if (halo) {
    w.open("g", {{"stroke", "#ffffff"}, {"stroke-width", 3}, {"paint-order", "stroke"}});
  }
  w.text("text",
         {{"x", x}, {"y", y}, {"font-size", size}, {"text-anchor", anchor}, {"fill", colour}},
         text);
  if (halo) w.close();
}

void rect(svg::Writer& w, double x, double y, double width, double height, std::string_view fill,
          double opacity = 1.0) {
  w.empty("rect", {{"x", x},
                   {"y", y},
                   {"width", width},
                   {"height", height},
                   {"fill", fill},
                   {"fill-opacity", opacity}});
}

void line(svg::Writer& w, double x1, double y1, double x2, double y2, std::string_view colour,
          double width, std::string_view dash = "none") {
  w.empty("line", {{"x1", x1},
                   {"y1", y1},
                   {"x2", x2},
                   {"y2", y2},
                   {"stroke", colour},
                   {"stroke-width", width},
                   {"stroke-dasharray", dash}});
}

void startDocument(svg::Writer& w, std::ostream& out, double height, std::string_view title,
                   std::string_view desc) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  w.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
                 {"viewBox", "0 0 800 " + svg::formatNumber(height)},
                 {"width", kWidth},
                 {"height", height},
                 {"font-family", "sans-serif"}});
  w.text("title", {}, title);
  w.text("desc", {}, desc);
  w.empty("rect", {{"width", kWidth}, {"height", height}, {"fill", "#ffffff"}});
  w.text("text",
         {{"x", kLeft}, {"y", 32}, {"font-size", 18}, {"font-weight", "bold"}, {"fill", kInk}},
         title);
}

void yAxis(svg::Writer& w, const Frame& f, const Scale& s, const Ticks& t, std::string_view title,
           bool right, std::string_view colour = kMuted) {
  w.open("g", {{"class", right ? "y-axis-right" : "y-axis"}});
  for (double v : t.values) {
    const double y = s(v);
    if (right) {
      line(w, f.right, y, f.right + 4, y, kMuted, 1);
    } else {
      line(w, f.left, y, f.right, y, kGrid, 1);
    }
    label(w, right ? f.right + 7 : f.left - 7, y + 4, svg::formatNumber(v), right ? "start" : "end",
          colour);
  }
  const double x = right ? f.right + 46 : f.left - 50;
  const double y = (f.top + f.bottom) / 2.0;
  w.text("text",
         {{"x", x},
          {"y", y},
          {"font-size", 13},
          {"text-anchor", "middle"},
          {"fill", colour},
          {"transform", "rotate(" + std::string(right ? "90 " : "-90 ") + svg::formatNumber(x) +
                            " " + svg::formatNumber(y) + ")"}},
         title);
  line(w, right ? f.right : f.left, f.top, right ? f.right : f.left, f.bottom, kMuted, 1);
  w.close();
}

void xAxis(svg::Writer& w, const Frame& f, const Scale& s, const Ticks& t, std::string_view title,
           double gridTop) {
  w.open("g", {{"class", "x-axis"}});
  for (double v : t.values) {
    const double x = s(v);
    if (x < f.left - 0.5 || x > f.right + 0.5) continue;
    line(w, x, gridTop, x, f.bottom, kGrid, 1);
    label(w, x, f.bottom + 17, svg::formatNumber(v), "middle", kMuted);
  }
  line(w, f.left, f.bottom, f.right, f.bottom, kMuted, 1);
  if (!title.empty()) {
    label(w, (f.left + f.right) / 2.0, f.bottom + 37, title, "middle", kMuted, 13);
  }
  w.close();
}

enum class Swatch { kLine, kBand, kBar, kRing, kWhisker };

struct LegendItem {
  std::string text;
  std::string_view colour;
  Swatch swatch = Swatch::kLine;
  std::string_view dash = "none";
  double opacity = 1.0;
  int marker = -1;
};

void marker(svg::Writer& w, int shape, double x, double y, double r, std::string_view colour) {
  svg::Points p;
  if (shape % 4 == 0) {
    w.empty("circle", {{"cx", x}, {"cy", y}, {"r", r}, {"fill", colour}, {"stroke", "#ffffff"}});
    return;
  } else if (shape % 4 == 1) {
    p.add(x - r, y - r), p.add(x + r, y - r), p.add(x + r, y + r), p.add(x - r, y + r);
  } else if (shape % 4 == 2) {
    p.add(x, y - r * 1.25), p.add(x + r * 1.15, y + r * 0.85), p.add(x - r * 1.15, y + r * 0.85);
  } else {
    p.add(x, y - r * 1.3), p.add(x + r * 1.1, y), p.add(x, y + r * 1.3), p.add(x - r * 1.1, y);
  }
  w.empty("polygon", {{"points", p.str()}, {"fill", colour}, {"stroke", "#ffffff"}});
}

double itemWidth(const LegendItem& item) { return 30.0 + textWidth(item.text, 12) + 20.0; }

// Lays items out in rows (columns > 0: a grid); returns the height used.
double legend(svg::Writer& w, double x0, double y0, const std::vector<LegendItem>& items,
              int columns = 0) {
  w.open("g", {{"class", "legend"}});
  double x = x0;
  double y = y0;
  const double columnWidth = columns > 0 ? (kRight - kLeft) / static_cast<double>(columns) : 0.0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const LegendItem& item = items[i];
    const double width = columns > 0 ? columnWidth : itemWidth(item);
    if (x > x0 && x + width > kRight + 20.0) x = x0, y += 20.0;
    if (item.swatch == Swatch::kLine) {
      line(w, x, y, x + 22, y, item.colour, 2.5, item.dash);
      if (item.marker >= 0) marker(w, item.marker, x + 11, y, 4, item.colour);
    } else if (item.swatch == Swatch::kRing) {
      w.empty("circle", {{"cx", x + 11},
                         {"cy", y},
                         {"r", 7},
                         {"fill", "none"},
                         {"stroke", item.colour},
                         {"stroke-width", 2}});
    } else if (item.swatch == Swatch::kWhisker) {
      line(w, x + 11, y - 7, x + 11, y + 7, item.colour, 1.5);
      line(w, x + 7, y - 7, x + 15, y - 7, item.colour, 1.5);
      line(w, x + 7, y + 7, x + 15, y + 7, item.colour, 1.5);
    } else {
      const double h = item.swatch == Swatch::kBand ? 10.0 : 12.0;
      rect(w, x, y - h / 2.0, 22, h, item.colour, item.opacity);
    }
    label(w, x + 30, y + 4, item.text, "start", kInk);
    x += width;
  }
  w.close();
  return y - y0 + 20.0;
}

// A single point is drawn 20 px wide so that it stays visible.
void widen(std::vector<double>& xs, std::vector<std::vector<double>*> ys) {
  if (xs.size() != 1) return;
  xs = {xs[0] - 10.0, xs[0] + 10.0};
  for (auto* values : ys) values->push_back(values->front());
}

void band(svg::Writer& w, std::vector<double> xs, std::vector<double> lows,
          std::vector<double> highs, std::string_view colour, double opacity) {
  widen(xs, {&lows, &highs});
  svg::Points p;
  for (std::size_t i = 0; i < xs.size(); ++i) p.add(xs[i], highs[i]);
  for (std::size_t i = xs.size(); i-- > 0;) p.add(xs[i], lows[i]);
  if (!p.isEmpty()) {
    w.empty("polygon", {{"points", p.str()}, {"fill", colour}, {"fill-opacity", opacity}});
  }
}

void polyline(svg::Writer& w, std::vector<double> xs, std::vector<double> ys,
              std::string_view colour, double width, std::string_view dash, std::string_view cls) {
  widen(xs, {&ys});
  svg::Points p;
  for (std::size_t i = 0; i < xs.size(); ++i) p.add(xs[i], ys[i]);
  if (p.isEmpty()) return;
  w.empty("polyline", {{"class", cls},
                       {"points", p.str()},
                       {"fill", "none"},
                       {"stroke", colour},
                       {"stroke-width", width},
                       {"stroke-dasharray", dash},
                       {"stroke-linejoin", "round"}});
}

// A dashed level across the plot, named in the right margin (name above, value below).
void levelLine(svg::Writer& w, const Frame& f, double y, double labelY, std::string_view name,
               std::string_view value, std::string_view colour) {
  if (y < f.top || y > f.bottom) return;
  line(w, f.left, y, f.right, y, colour, 1.5, "6 4");
  label(w, f.right + 6, labelY - 2, name, "start", colour);
  label(w, f.right + 6, labelY + 12, value, "start", colour);
}

void heatLevels(svg::Writer& w, const Frame& f, const Scale& s, double overheat, double critical) {
  const double overheatY = s(overheat);
  levelLine(w, f, overheatY, overheatY, "Overheat", num(overheat), kOrange);
  levelLine(w, f, s(critical), std::min(s(critical), overheatY - 30.0), "Critical", num(critical),
            kVermillion);
}

void noData(svg::Writer& w, const Frame& f) {
  label(w, (f.left + f.right) / 2.0, (f.top + f.bottom) / 2.0, "No data", "middle", kMuted, 14);
}

template <typename T, typename Get>
std::vector<double> mapped(const std::vector<T>& items, const Scale& s, Get get) {
  std::vector<double> result;
  result.reserve(items.size());
  for (const T& item : items) result.push_back(s(get(item)));
  return result;
}

std::string batchSummary(const BatchChart& c) {
  std::string d = "A batch of runs with no turns to show.";
  if (!c.turns.empty()) {
    const TurnPoint& last = c.turns.back();
    d = "Heat of a batch of runs from turn " + std::to_string(c.turns.front().turn) + " to turn " +
        std::to_string(last.turn) + ". At turn " + std::to_string(last.turn) +
        " the median heat is " + num(last.p50) + " (middle half " + num(last.p25) + " to " +
        num(last.p75) + ", 10th to 90th percentile " + num(last.p10) + " to " + num(last.p90) +
        "); the overheat level is " + num(c.overheatLevel) + " and the critical level " +
        num(c.criticalLevel) + ". At that turn " + pct(last.overheated.value) +
        " of runs are overheated (95 % interval " + pct(last.overheated.low) + " to " +
        pct(last.overheated.high) + "), " + pct(last.critical.value) +
        " carry the critical flag and " + pct(last.everOverheated.value) +
        " have overheated at least once.";
  }
  if (!c.finalHeat.empty()) {
    auto top =
        std::max_element(c.finalHeat.begin(), c.finalHeat.end(),
                         [](const HeatBin& a, const HeatBin& b) { return a.share < b.share; });
    d += " Final heat: most runs (" + pct(top->share) + ") end between " + num(top->low) + " and " +
         num(top->high) + ".";
  }
  return d + (c.description.empty() ? "" : " " + c.description);
}

}  // namespace

Ticks niceTicks(double low, double high, int maxTicks) {
  if (!std::isfinite(low) || !std::isfinite(high)) low = 0.0, high = 1.0;
  if (high < low) std::swap(low, high);
  if (high == low) {
    const double pad = low == 0.0 ? 1.0 : std::abs(low) * 0.1;
    low -= pad, high += pad;
  }
  const double raw = (high - low) / static_cast<double>(std::max(maxTicks, 1));
  Ticks ticks;
  if (!(raw > 1e-300 && raw < 1e300)) {  // Out of range: the default 0..1.
    ticks.values = {0.0, 1.0};
    return ticks;
  }
  const double magnitude = powerOfTen(static_cast<int>(std::floor(std::log10(raw))));
  ticks.step = 10.0 * magnitude;
  for (double factor : {1.0, 2.0, 5.0}) {
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

void writeBatchChart(std::ostream& out, const BatchChart& chart) {
  const auto& turns = chart.turns;
  svg::Writer w(out);
  const double height = 925.0;
  startDocument(w, out, height, chart.title.empty() ? "Heat of a batch of runs" : chart.title,
                batchSummary(chart));
  const double firstTurn = turns.empty() ? 1.0 : static_cast<double>(turns.front().turn);
  const double lastTurn = turns.empty() ? 10.0 : static_cast<double>(turns.back().turn);
  const Ticks turnTicks = integerTicks(firstTurn, lastTurn, 10);
  const Scale turnX{turnTicks.low, turnTicks.high, kLeft, kRight};
  const std::vector<double> xs =
      mapped(turns, turnX, [](const TurnPoint& p) { return static_cast<double>(p.turn); });

  // Panel 1: heat percentiles.
  w.open("g", {{"class", "heat-panel"}});
  label(w, kLeft, 64, "Heat level per turn, across all runs", "start", kInk, 14);
  double top =
      84.0 +
      legend(w, kLeft, 84,
             {{"Median", kBlue},
              {"Middle 50 % of runs (25th–75th percentile)", kBlue, Swatch::kBand, "none", 0.35},
              {"Middle 80 % (10th–90th)", kSky, Swatch::kBand, "none", 0.3}});
  Frame f{kLeft, top, kRight, top + 200.0};
  double maxHeat = chart.criticalLevel * 1.08;
  double minHeat = 0.0;
  for (const TurnPoint& p : turns)
    maxHeat = std::max(maxHeat, p.p90), minHeat = std::min(minHeat, p.p10);
  const Ticks heatTicks = niceTicks(minHeat, maxHeat, 6);
  const Scale heatY{heatTicks.low, heatTicks.high, f.bottom, f.top};
  yAxis(w, f, heatY, heatTicks, "Heat level", false);
  xAxis(w, f, turnX, turnTicks, "", f.top);
  auto heat = [&](double TurnPoint::*field) {
    return mapped(turns, heatY, [field](const TurnPoint& p) { return p.*field; });
  };
  band(w, xs, heat(&TurnPoint::p10), heat(&TurnPoint::p90), kSky, 0.3);
  band(w, xs, heat(&TurnPoint::p25), heat(&TurnPoint::p75), kBlue, 0.35);
  polyline(w, xs, heat(&TurnPoint::p50), kBlue, 2.5, "none", "median");
  heatLevels(w, f, heatY, chart.overheatLevel, chart.criticalLevel);
  if (turns.empty()) noData(w, f);
  w.close();

  // Panel 2: shares of runs, with 95 % bands.
  w.open("g", {{"class", "share-panel"}});
  label(w, kLeft, f.bottom + 52, "Share of runs per turn (shaded: 95 % interval)", "start", kInk,
        14);
  struct ShareSeries {
    Share TurnPoint::*field;
    std::string_view name, colour, dash, cls;
  };
  const std::array<ShareSeries, 3> shares = {
      ShareSeries{&TurnPoint::overheated, "Overheated now", kOrange, "none", "overheated"},
      ShareSeries{&TurnPoint::critical, "Critical flag", kVermillion, "7 3", "critical"},
      ShareSeries{&TurnPoint::everOverheated, "Ever overheated by this turn", kBlue, "2 3",
                  "ever-overheated"}};
  std::vector<LegendItem> shareLegend;
  for (const auto& s : shares)
    shareLegend.push_back({std::string(s.name), s.colour, Swatch::kLine, s.dash});
  top = f.bottom + 72.0 + legend(w, kLeft, f.bottom + 72, shareLegend);
  f = Frame{kLeft, top, kRight, top + 180.0};
  const Ticks percentTicks = niceTicks(0, 100, 5);
  const Scale percentY{0, 100, f.bottom, f.top};
  yAxis(w, f, percentY, percentTicks, "Share of runs (%)", false);
  xAxis(w, f, turnX, turnTicks, "Turn", f.top);
  for (const auto& s : shares) {
    auto get = [&](double Share::*part) {
      return mapped(turns, percentY,
                    [&](const TurnPoint& p) { return (p.*(s.field)).*part * 100.0; });
    };
    band(w, xs, get(&Share::low), get(&Share::high), s.colour, 0.18);
    polyline(w, xs, get(&Share::value), s.colour, 2.2, s.dash, s.cls);
  }
  if (turns.empty()) noData(w, f);
  w.close();

  // Panel 3: final heat histogram and the "at least" curve.
  const auto& bins = chart.finalHeat;
  w.open("g", {{"class", "final-panel"}});
  label(w, kLeft, f.bottom + 72, "Heat after the last turn", "start", kInk, 14);
  top = f.bottom + 92.0 +
        legend(w, kLeft, f.bottom + 92,
               {{"Runs ending in this heat range", kSky, Swatch::kBar},
                {"Runs ending at this heat or higher", kInk}});
  f = Frame{kLeft, top, kRight, top + 180.0};
  double maxShare = 0.01;
  for (const HeatBin& b : bins) maxShare = std::max(maxShare, b.share * 100.0);
  const Ticks binTicks = niceTicks(0, maxShare, 5);
  const Scale binY{binTicks.low, binTicks.high, f.bottom, f.top};
  const Ticks finalTicks = bins.empty() ? niceTicks(0, chart.criticalLevel, 8)
                                        : niceTicks(bins.front().low, bins.back().high, 8);
  const Scale finalX{finalTicks.low, finalTicks.high, kLeft, kRight};
  yAxis(w, f, binY, binTicks, "Runs in range (%)", false);
  const Scale atLeastY{0, 100, f.bottom, f.top};
  yAxis(w, f, atLeastY, percentTicks, "Runs at or above (%)", true);
  xAxis(w, f, finalX, finalTicks, "Heat level after the last turn", f.top);
  for (const HeatBin& b : bins) {
    const double x0 = finalX(b.low);
    rect(w, x0, binY(b.share * 100.0), std::max(finalX(b.high) - x0 - 1.0, 1.0),
         f.bottom - binY(b.share * 100.0), kSky);
  }
  polyline(w, mapped(bins, finalX, [](const HeatBin& b) { return b.low; }),
           mapped(bins, atLeastY, [](const HeatBin& b) { return b.shareAtLeast * 100.0; }), kInk, 2,
           "none", "at-least");
  for (auto [level, colour] :
       {std::pair{chart.overheatLevel, kOrange}, std::pair{chart.criticalLevel, kVermillion}}) {
    const double x = finalX(level);
    if (bins.empty() || x < f.left || x > f.right) continue;
    line(w, x, f.top, x, f.bottom, colour, 1.5, "6 4");
    label(w, x + 4, f.top + 14, num(level), "start", colour, 12, true);
  }
  if (bins.empty()) noData(w, f);
  w.close();
}

void writeSweepChart(std::ostream& out, const SweepChart& chart) {
  const std::size_t n = chart.series.size();
  std::vector<LegendItem> seriesLegend;
  double minX = 0.0, maxX = 1.0, widest = 0.0;
  bool anyPoint = false;
  std::string summary = "Share of runs that ever overheated against " + chart.xLabel + ", for " +
                        std::to_string(n) + " combination" + (n == 1 ? "" : "s") + ".";
  for (std::size_t i = 0; i < n; ++i) {
    const SweepSeries& s = chart.series[i];
    seriesLegend.push_back({s.label, kPalette[i % 7], Swatch::kLine, kDashes[(i / 7) % 3], 1.0,
                            static_cast<int>(i % 4)});
    widest = std::max(widest, itemWidth(seriesLegend.back()));
    for (const SweepPoint& p : s.points) {
      minX = anyPoint ? std::min(minX, p.x) : p.x, maxX = anyPoint ? std::max(maxX, p.x) : p.x;
      anyPoint = true;
      summary += " " + s.label + " at " + num(p.x) + ": " + pct(p.everOverheated.value) +
                 (p.picked ? " (picked);" : ";");
    }
  }
  if (chart.maxOverheat) summary += " Accepted at most: " + pct(*chart.maxOverheat) + ".";
  if (!chart.description.empty()) summary += " " + chart.description;
  const int columns = std::clamp(static_cast<int>((kRight - kLeft) / std::max(widest, 1.0)), 1, 4);
  const double legendRows = std::ceil(static_cast<double>(n) / static_cast<double>(columns));
  const double height = 540.0 + legendRows * 20.0;
  svg::Writer w(out);
  startDocument(w, out, height, chart.title.empty() ? "Ever overheated by design" : chart.title,
                summary);
  std::vector<LegendItem> key = {{"95 % interval", kInk, Swatch::kWhisker},
                                 {"Picked design (x → share)", kInk, Swatch::kRing}};
  if (chart.maxOverheat) {
    key.push_back({"Most accepted: " + pct(*chart.maxOverheat), kMuted, Swatch::kLine, "8 4"});
  }
  const double top = 64.0 + legend(w, kLeft, 64, key);
  const Frame f{kLeft, top, kRight, top + 380.0};
  const Ticks xTicks = niceTicks(minX, maxX, 10);
  const Scale sx{xTicks.low, xTicks.high, f.left + 16.0, f.right - 16.0};
  const Scale sy{0, 100, f.bottom, f.top};
  yAxis(w, f, sy, niceTicks(0, 100, 10), "Runs ever overheated (%)", false);
  xAxis(w, f, sx, xTicks, chart.xLabel, f.top);
  if (chart.maxOverheat) {
    const double y = sy(*chart.maxOverheat * 100.0);
    levelLine(w, f, y, y, "Limit", pct(*chart.maxOverheat), kMuted);
  }
  // Series side by side at a shared x, so that whiskers do not hide each other.
  std::vector<double> xsAll;
  for (const SweepSeries& s : chart.series) {
    for (const SweepPoint& p : s.points) xsAll.push_back(sx(p.x));
  }
  std::sort(xsAll.begin(), xsAll.end());
  double gap = 40.0;
  for (std::size_t i = 1; i < xsAll.size(); ++i) {
    if (xsAll[i] - xsAll[i - 1] > 0.5) gap = std::min(gap, xsAll[i] - xsAll[i - 1]);
  }
  const double dodge = n > 1 ? std::min(5.0, 0.6 * gap / static_cast<double>(n)) : 0.0;
  struct Picked {
    double x, y;
    std::string text;
  };
  std::vector<Picked> picked;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view colour = kPalette[i % 7];
    std::vector<SweepPoint> points = chart.series[i].points;
    std::sort(points.begin(), points.end(),
              [](const SweepPoint& a, const SweepPoint& b) { return a.x < b.x; });
    const double offset = (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0) * dodge;
    w.open("g", {{"class", "series"}});
    polyline(w, mapped(points, sx, [](const SweepPoint& p) { return p.x; }),
             mapped(points, sy, [](const SweepPoint& p) { return p.everOverheated.value * 100.0; }),
             colour, 1.8, kDashes[(i / 7) % 3], "series-line");
    for (const SweepPoint& p : points) {
      const double x = sx(p.x) + offset;
      const double lo = sy(p.everOverheated.low * 100.0), hi = sy(p.everOverheated.high * 100.0);
      line(w, x, lo, x, hi, colour, 1.2);
      line(w, x - 3, lo, x + 3, lo, colour, 1.2);
      line(w, x - 3, hi, x + 3, hi, colour, 1.2);
      marker(w, static_cast<int>(i % 4), x, sy(p.everOverheated.value * 100.0), 4.5, colour);
      if (p.picked) {
        const double y = sy(p.everOverheated.value * 100.0);
        w.empty("circle", {{"class", "picked"},
                           {"cx", x},
                           {"cy", y},
                           {"r", 10},
                           {"fill", "none"},
                           {"stroke", kInk},
                           {"stroke-width", 2}});
        picked.push_back({x, y, num(p.x) + " → " + pct(p.everOverheated.value)});
      }
    }
    w.close();
  }
  // Labels of picked designs: the first nearby place that hits no ring and no other label.
  struct Box {
    double x0, y0, x1, y1;
  };
  std::vector<Box> taken;
  for (const Picked& p : picked) taken.push_back({p.x - 11, p.y - 11, p.x + 11, p.y + 11});
  for (const Picked& p : picked) {
    const double width = textWidth(p.text, 12) + 2.0;
    const auto place = [&]() -> Box {
      for (double dy : {-26.0, 10.0, -44.0, 28.0, -62.0, 46.0}) {
        for (double dx : {12.0, -12.0 - width}) {
          const Box b{p.x + dx, p.y + dy, p.x + dx + width, p.y + dy + 15.0};
          bool clear = b.x0 > f.left && b.x1 < f.right && b.y0 > f.top && b.y1 < f.bottom;
          for (const Box& t : taken) {
            clear = clear && (b.x1 < t.x0 || b.x0 > t.x1 || b.y1 < t.y0 || b.y0 > t.y1);
          }
          if (clear) return b;
        }
      }
      return {p.x + 12, p.y - 26, p.x + 12 + width, p.y - 11};
    };
    const Box best = place();
    taken.push_back(best);
    label(w, best.x0 + 1, best.y1 - 3, p.text, "start", kInk, 12, true);
  }
  if (!anyPoint) noData(w, f);
  legend(w, kLeft, f.bottom + 70, seriesLegend, columns);
}

void writeRunChart(std::ostream& out, const RunChart& chart) {
  const auto& turns = chart.turns;
  const double height = 600.0;
  double peak = turns.empty() ? 0.0 : turns.front().heat, maxHeat = chart.criticalLevel * 1.08;
  int peakTurn = turns.empty() ? 0 : turns.front().turn, overheated = 0, critical = 0;
  int changes = 0, coolantTurns = 0, coolant = 0, damageTurns = 0, damage = 0, maxCoolant = 1;
  std::string places;
  for (const RunTurn& t : turns) {
    if (t.heat > peak) peak = t.heat, peakTurn = t.turn;
    maxHeat = std::max(maxHeat, t.heat);
    overheated += t.heat > chart.overheatLevel ? 1 : 0;
    critical += t.heat >= chart.criticalLevel ? 1 : 0;
    if (t.movedTo) places += (changes++ == 0 ? "" : ", ") + *t.movedTo;
    coolantTurns += t.coolantDrawn > 0 ? 1 : 0, coolant += t.coolantDrawn;
    maxCoolant = std::max(maxCoolant, t.coolantDrawn);
    damageTurns += t.damagePercent > 0 ? 1 : 0, damage += t.damagePercent;
  }
  std::string summary = "One run with no turns to show.";
  if (!turns.empty()) {
    summary = "One run over " + std::to_string(turns.size()) + " turns. Heat starts at " +
              num(turns.front().heat) + ", peaks at " + num(peak) + " on turn " +
              std::to_string(peakTurn) + " and ends at " + num(turns.back().heat) +
              ". It is above the overheat level " + num(chart.overheatLevel) + " after " +
              std::to_string(overheated) + " turns and at or above the critical level " +
              num(chart.criticalLevel) + " after " + std::to_string(critical) + ". " +
              std::to_string(changes) + " environment changes" +
              (places.size() < 200 ? (changes > 0 ? " (" + places + ")" : "") : "") +
              "; coolant drawn on " + std::to_string(coolantTurns) + " turns, " +
              std::to_string(coolant) + " liters in all; heatsink damage on " +
              std::to_string(damageTurns) + " turns, " + std::to_string(damage) + " % in all.";
  }
  if (!chart.description.empty()) summary += " " + chart.description;
  svg::Writer w(out);
  startDocument(w, out, height, chart.title.empty() ? "One run, turn by turn" : chart.title,
                summary);
  const double top = 64.0 + legend(w, kLeft, 64,
                                   {{"Heat level after the turn", kBlue},
                                    {"Overheat level", kOrange, Swatch::kLine, "6 4"},
                                    {"Critical level", kVermillion, Swatch::kLine, "6 4"}});
  const Frame f{kLeft, top, kRight, top + 270.0};
  const double lanesTop = f.bottom + 14.0, lanesBottom = lanesTop + 156.0;
  const Frame all{kLeft, top, kRight, lanesBottom};
  const double first = turns.empty() ? 1.0 : static_cast<double>(turns.front().turn);
  const double last = turns.empty() ? 10.0 : static_cast<double>(turns.back().turn);
  const Ticks turnTicks = integerTicks(first, last, 10);
  const Scale sx{first - 0.5, last + 0.5, kLeft, kRight};
  const Ticks heatTicks = niceTicks(0, maxHeat, 6);
  const Scale sy{heatTicks.low, heatTicks.high, f.bottom, f.top};
  yAxis(w, f, sy, heatTicks, "Heat level", false);
  xAxis(w, all, sx, turnTicks, "Turn", f.top);
  line(w, f.left, f.bottom, f.right, f.bottom, kMuted, 1);
  const double perTurn = (sx(1.0) - sx(0.0));
  const double barWidth = std::clamp(perTurn * 0.7, 1.0, 14.0);
  for (const RunTurn& t : turns) {
    if (t.movedTo && changes <= 60 && &t != &turns.front()) {
      const double x = sx(static_cast<double>(t.turn) - 0.5);
      line(w, x, f.top, x, lanesTop + 36.0, "#999999", 1, "2 3");
    }
  }
  heatLevels(w, f, sy, chart.overheatLevel, chart.criticalLevel);
  const auto turnX = [&](const RunTurn& t) { return static_cast<double>(t.turn); };
  polyline(w, mapped(turns, sx, turnX), mapped(turns, sy, [](const RunTurn& t) { return t.heat; }),
           kBlue, 2, "none", "heat");
  if (turns.size() <= 60) {
    for (const RunTurn& t : turns) marker(w, 0, sx(turnX(t)), sy(t.heat), 3, kBlue);
  }
  if (turns.empty()) noData(w, f);

  // Event lanes under the heat plot, on the same turn axis.
  w.open("g", {{"class", "environment-lane"}});
  label(w, kLeft, lanesTop + 10, "Environment", "start", kInk, 12);
  std::vector<std::string> names;
  for (const RunTurn& t : turns) {
    if (t.movedTo && std::find(names.begin(), names.end(), *t.movedTo) == names.end()) {
      names.push_back(*t.movedTo);
    }
  }
  double keyX = kLeft + 90.0;
  for (std::size_t i = 0; i < names.size() && keyX < kRight - 60.0; ++i) {
    rect(w, keyX, lanesTop + 1, 12, 11, kPalette[i % 7], 0.45);
    label(w, keyX + 16, lanesTop + 10, names[i], "start", kInk, 12);
    keyX += 34.0 + textWidth(names[i], 12);
  }
  for (std::size_t i = 0; i < turns.size(); ++i) {
    if (!turns[i].movedTo && i > 0) continue;
    std::size_t j = i + 1;
    while (j < turns.size() && !turns[j].movedTo) ++j;
    const double x0 = sx(static_cast<double>(turns[i].turn) - 0.5);
    const double x1 = sx(static_cast<double>(turns[j - 1].turn) + 0.5);
    std::string_view colour = "#dddddd";
    if (turns[i].movedTo) {
      const auto it = std::find(names.begin(), names.end(), *turns[i].movedTo);
      colour = kPalette[static_cast<std::size_t>(it - names.begin()) % 7];
    }
    rect(w, x0, lanesTop + 16, std::max(x1 - x0, 1.0), 20, colour, 0.45);
    const std::string name = turns[i].movedTo.value_or("");
    if (!name.empty() && x1 - x0 > textWidth(name, 11) + 8.0) {
      w.text("text", {{"x", x0 + 4}, {"y", lanesTop + 30}, {"font-size", 11}, {"fill", kInk}},
             name);
    }
  }
  w.close();
  struct Lane {
    const char* title;
    int RunTurn::*field;
    std::string_view colour, unit, cls;
  };
  int maxDamage = 1;
  for (const RunTurn& t : turns) maxDamage = std::max(maxDamage, t.damagePercent);
  const std::array<Lane, 2> lanes = {
      Lane{"Coolant drawn (liters", &RunTurn::coolantDrawn, kGreen, " L", "coolant-lane"},
      Lane{"Heatsink damage (percent", &RunTurn::damagePercent, kPurple, " %", "damage-lane"}};
  for (std::size_t k = 0; k < lanes.size(); ++k) {
    const Lane& lane = lanes[k];
    const double y0 = lanesTop + 52.0 + 52.0 * static_cast<double>(k);
    const double laneMax = static_cast<double>(k == 0 ? maxCoolant : maxDamage);
    w.open("g", {{"class", lane.cls}});
    label(w, kLeft, y0,
          std::string(lane.title) + "; tallest bar " + svg::formatNumber(laneMax) +
              std::string(lane.unit) + ")",
          "start", kInk, 12);
    line(w, kLeft, y0 + 40, kRight, y0 + 40, kGrid, 1);
    double labelEnd = -1e9;
    for (const RunTurn& t : turns) {
      const int amount = t.*(lane.field);
      if (amount <= 0) continue;
      const double x = sx(turnX(t));
      const double h = 24.0 * static_cast<double>(amount) / laneMax;
      rect(w, x - barWidth / 2.0, y0 + 40 - h, barWidth, h, lane.colour);
      const std::string text = std::to_string(amount) + std::string(lane.unit);
      if (perTurn >= 6.0 && x - textWidth(text, 11) / 2.0 > labelEnd + 3.0) {  // Wide turns only.
        label(w, x, y0 + 37 - h, text, "middle", kInk, 11);
        labelEnd = x + textWidth(text, 11) / 2.0;
      }
    }
    w.close();
  }
}

}  // namespace reports::charts
