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
// Okabe-Ito colours, safe for colour-blind readers (yellow left out: too pale on white).
constexpr std::string_view kBlue = "#0072B2";
constexpr std::string_view kSky = "#56B4E9";
constexpr std::string_view kOrange = "#E69F00";
constexpr std::string_view kVermillion = "#D55E00";
constexpr std::string_view kGreen = "#009E73";
constexpr std::string_view kPurple = "#CC79A7";
constexpr std::array<std::string_view, 7> kPalette = {kBlue,   kOrange, kGreen,   kVermillion,
                                                      kPurple, kSky,    "#000000"};
// Series past the palette's length repeat its colours with another dash.
constexpr std::array<std::string_view, 3> kDashes = {"none", "7 3", "2 3"};

std::string_view paletteColour(std::size_t index) { return kPalette.at(index % kPalette.size()); }
std::string_view seriesDash(std::size_t index) {
  return kDashes.at(index / kPalette.size() % kDashes.size());
}

struct Frame {
  double left, top, right, bottom;
};

// Maps data values [low, high] linearly onto pixels [lowPixel, highPixel].
struct Scale {
  double low, high, lowPixel, highPixel;
  double operator()(double v) const {
    return lowPixel + (v - low) / (high - low) * (highPixel - lowPixel);
  }
};

std::string num(double v) { return svg::formatNumber(std::round(v * 10.0) / 10.0); }
std::string pct(double fraction) { return num(fraction * 100.0) + " %"; }

// Rough width of sans-serif text; UTF-8 continuation bytes start no new character.
double textWidth(std::string_view text, double fontSize) {
  const auto chars = std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
  });
  return static_cast<double>(chars) * fontSize * 0.56;
}

// Exact products, so that every platform's maths library gives the same steps.
double powerOfTen(int exponent) {
  double result = 1.0;
  for (int i = 0; i < std::abs(exponent); ++i) {
    result *= 10.0;
  }
  return exponent < 0 ? 1.0 / result : result;
}

// Ticks on whole turns only.
Ticks integerTicks(double low, double high, int maxTicks) {
  Ticks ticks = high - low < 2.0 ? niceTicks(low - 1.0, high + 1.0, maxTicks)
                                 : niceTicks(low, high, maxTicks);
  if (ticks.step < 1.0) {
    ticks = niceTicks(ticks.low, ticks.high, static_cast<int>(ticks.high - ticks.low));
  }
  return ticks;
}

// A halo (white outline) keeps text readable over lines.
void label(svg::Writer& w, double x, double y, std::string_view text, std::string_view anchor,
           std::string_view colour, int size = 12, bool halo = false) {
  if (halo) {
    w.open("g", {{"stroke", "#ffffff"}, {"stroke-width", 3}, {"paint-order", "stroke"}});
  }
  w.text("text",
         {{"x", x}, {"y", y}, {"font-size", size}, {"text-anchor", anchor}, {"fill", colour}},
         text);
  if (halo) {
    w.close();
  }
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

// The chart's own title or a generic one; the summary ends with the chart's description.
template <typename Chart>
void startDocument(svg::Writer& w, std::ostream& out, const Chart& chart, double height,
                   std::string_view genericTitle, std::string summary) {
  const std::string_view title = chart.title.empty() ? genericTitle : chart.title;
  if (!chart.description.empty()) {
    summary += " " + chart.description;
  }
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  w.open("svg", {{"xmlns", "http://www.w3.org/2000/svg"},
                 {"viewBox", "0 0 800 " + svg::formatNumber(height)},
                 {"width", kWidth},
                 {"height", height},
                 {"font-family", "sans-serif"}});
  w.text("title", {}, title);
  w.text("desc", {}, summary);
  w.empty("rect", {{"width", kWidth}, {"height", height}, {"fill", "#ffffff"}});
  w.text("text",
         {{"x", kLeft}, {"y", 32}, {"font-size", 18}, {"font-weight", "bold"}, {"fill", kInk}},
         title);
}

// Grid lines (ticks on the right axis) with labels, the axis title turned along the axis.
void yAxis(svg::Writer& w, const Frame& f, const Scale& s, const Ticks& t, std::string_view title,
           bool right) {
  const double axisX = right ? f.right : f.left;
  w.open("g", {{"class", right ? "y-axis-right" : "y-axis"}});
  for (const double v : t.values) {
    const double y = s(v);
    if (right) {
      line(w, f.right, y, f.right + 4, y, kMuted, 1);
    } else {
      line(w, f.left, y, f.right, y, kGrid, 1);
    }
    label(w, right ? f.right + 7 : f.left - 7, y + 4, svg::formatNumber(v), right ? "start" : "end",
          kMuted);
  }
  const double x = right ? f.right + 46 : f.left - 50;
  const double y = (f.top + f.bottom) / 2.0;
  const std::string rotate = std::string(right ? "rotate(90 " : "rotate(-90 ") +
                             svg::formatNumber(x) + " " + svg::formatNumber(y) + ")";
  w.text("text",
         {{"x", x},
          {"y", y},
          {"font-size", 13},
          {"text-anchor", "middle"},
          {"fill", kMuted},
          {"transform", rotate}},
         title);
  line(w, axisX, f.top, axisX, f.bottom, kMuted, 1);
  w.close();
}

// Ticks that fall outside the frame are left out.
void xAxis(svg::Writer& w, const Frame& f, const Scale& s, const Ticks& t, std::string_view title) {
  w.open("g", {{"class", "x-axis"}});
  for (const double v : t.values) {
    const double x = s(v);
    if (x < f.left - 0.5 || x > f.right + 0.5) {
      continue;
    }
    line(w, x, f.top, x, f.bottom, kGrid, 1);
    label(w, x, f.bottom + 17, svg::formatNumber(v), "middle", kMuted);
  }
  line(w, f.left, f.bottom, f.right, f.bottom, kMuted, 1);
  if (!title.empty()) {
    label(w, (f.left + f.right) / 2.0, f.bottom + 37, title, "middle", kMuted, 13);
  }
  w.close();
}

// Shapes 0-3: circle, square, triangle, diamond, so that series differ in more than colour.
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

enum class Swatch { kLine, kBand, kBar, kRing, kWhisker };

struct LegendItem {
  std::string_view text;
  std::string_view colour;
  Swatch swatch = Swatch::kLine;
  std::string_view dash = "none";
  double opacity = 1.0;
  int marker = -1;  // A marker shape on the line, or none.
};

double itemWidth(const LegendItem& item) { return 30.0 + textWidth(item.text, 12.0) + 20.0; }

void swatch(svg::Writer& w, double x, double y, const LegendItem& item) {
  if (item.swatch == Swatch::kLine) {
    line(w, x, y, x + 22, y, item.colour, 2.5, item.dash);
    if (item.marker >= 0) {
      marker(w, x + 11, y, 4, item.colour, item.marker);
    }
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
    const double height = item.swatch == Swatch::kBand ? 10.0 : 12.0;
    rect(w, x, y - height / 2.0, 22, height, item.colour, item.opacity);
  }
}

// Lays items out in rows that wrap at the right edge (columns > 0: a grid); returns the
// height used.
double legend(svg::Writer& w, double x0, double y0, const std::vector<LegendItem>& items,
              int columns = 0) {
  w.open("g", {{"class", "legend"}});
  double x = x0;
  double y = y0;
  const double columnWidth = columns > 0 ? (kRight - kLeft) / static_cast<double>(columns) : 0.0;
  for (const LegendItem& item : items) {
    const double width = columns > 0 ? columnWidth : itemWidth(item);
    if (x > x0 && x + width > kRight + 20.0) {
      x = x0;
      y += 20.0;
    }
    swatch(w, x, y, item);
    label(w, x + 30, y + 4, item.text, "start", kInk);
    x += width;
  }
  w.close();
  return y - y0 + 20.0;
}

// Adds the points (xs[i], ys[i]), last first if backwards. A single point becomes a level
// stretch 20 px wide, so that it stays visible.
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

// The area between two lines.
void band(svg::Writer& w, const std::vector<double>& xs,
          const std::pair<std::vector<double>, std::vector<double>>& lowHigh,
          std::string_view colour, double opacity) {
  if (xs.empty()) {
    return;
  }
  std::string points;
  addPoints(points, xs, lowHigh.second);
  addPoints(points, xs, lowHigh.first, true);
  w.empty("polygon", {{"points", points}, {"fill", colour}, {"fill-opacity", opacity}});
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

struct Level {
  std::string_view name;
  std::string value;  // As labelled.
  std::string_view colour;
  double y;
};

// A dashed level across the plot, named in the right margin (name above, value below) around
// labelY. A level beyond the axis is left out.
void levelLine(svg::Writer& w, const Frame& f, const Level& level, double labelY) {
  if (level.y < f.top || level.y > f.bottom) {
    return;
  }
  line(w, f.left, level.y, f.right, level.y, level.colour, 1.5, "6 4");
  label(w, f.right + 6, labelY - 2, level.name, "start", level.colour);
  label(w, f.right + 6, labelY + 12, level.value, "start", level.colour);
}

// The critical label keeps clear of the overheat label below it.
void heatLevels(svg::Writer& w, const Frame& f, const Scale& s, double overheat, double critical) {
  const double overheatY = s(overheat);
  const double criticalY = s(critical);
  levelLine(w, f, {"Overheat", num(overheat), kOrange, overheatY}, overheatY);
  levelLine(w, f, {"Critical", num(critical), kVermillion, criticalY},
            std::min(criticalY, overheatY - 30.0));
}

void noData(svg::Writer& w, const Frame& f) {
  label(w, (f.left + f.right) / 2.0, (f.top + f.bottom) / 2.0, "No data", "middle", kMuted, 14);
}

template <typename T, typename Get>
std::vector<double> mapped(const std::vector<T>& items, const Scale& s, Get get) {
  std::vector<double> result;
  result.reserve(items.size());
  for (const T& item : items) {
    result.push_back(s(get(item)));
  }
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
    const auto top =
        std::max_element(c.finalHeat.begin(), c.finalHeat.end(),
                         [](const HeatBin& a, const HeatBin& b) { return a.share < b.share; });
    d += " Final heat: most runs (" + pct(top->share) + ") end between " + num(top->low) + " and " +
         num(top->high) + ".";
  }
  return d;
}

// The first and the last turn; an empty chart shows turns 1 to 10.
template <typename Turn>
std::pair<double, double> turnRange(const std::vector<Turn>& turns) {
  if (turns.empty()) {
    return {1.0, 10.0};
  }
  return {static_cast<double>(turns.front().turn), static_cast<double>(turns.back().turn)};
}

// Opens a panel's group with its title and legend; returns the frame of its plot.
Frame openPanel(svg::Writer& w, std::string_view cls, double titleY, std::string_view title,
                const std::vector<LegendItem>& key, double plotHeight) {
  w.open("g", {{"class", cls}});
  label(w, kLeft, titleY, title, "start", kInk, 14);
  const double top = titleY + 20.0 + legend(w, kLeft, titleY + 20.0, key);
  return {kLeft, top, kRight, top + plotHeight};
}

// A panel with nothing to show says so.
void closePanel(svg::Writer& w, const Frame& f, bool empty) {
  if (empty) {
    noData(w, f);
  }
  w.close();
}

std::string sweepSummary(const SweepChart& chart) {
  const std::size_t n = chart.series.size();
  std::string summary = "Share of runs that ever overheated against " + chart.xLabel + ", for " +
                        std::to_string(n) + (n == 1 ? " combination." : " combinations.");
  for (const SweepSeries& s : chart.series) {
    for (const SweepPoint& p : s.points) {
      summary += " " + s.label + " at " + num(p.x) + ": " + pct(p.everOverheated.value) +
                 (p.picked ? " (picked);" : ";");
    }
  }
  if (chart.maxOverheat) {
    summary += " Accepted at most: " + pct(*chart.maxOverheat) + ".";
  }
  return summary;
}

bool overlap(const Frame& a, const Frame& b) {
  return a.right >= b.left && a.left <= b.right && a.bottom >= b.top && a.top <= b.bottom;
}

struct PickedLabel {
  double x, y;  // The ring's centre.
  std::string text;
};

// Each label goes to the first nearby place inside the plot that hits no ring and no other
// label, or above right of its ring if there is none.
void placePickedLabels(svg::Writer& w, const Frame& f, const std::vector<PickedLabel>& picked) {
  std::vector<Frame> taken;
  taken.reserve(2 * picked.size());
  for (const PickedLabel& p : picked) {
    taken.push_back({p.x - 11, p.y - 11, p.x + 11, p.y + 11});
  }
  for (const PickedLabel& p : picked) {
    const double width = textWidth(p.text, 12.0) + 2.0;
    const auto place = [&]() -> Frame {
      for (const double dy : {-26.0, 10.0, -44.0, 28.0, -62.0, 46.0}) {
        for (const double dx : {12.0, -12.0 - width}) {
          const Frame b{p.x + dx, p.y + dy, p.x + dx + width, p.y + dy + 15.0};
          const bool inside =
              b.left > f.left && b.right < f.right && b.top > f.top && b.bottom < f.bottom;
          if (inside && std::none_of(taken.begin(), taken.end(),
                                     [&](const Frame& t) { return overlap(b, t); })) {
            return b;
          }
        }
      }
      return {p.x + 12, p.y - 26, p.x + 12 + width, p.y - 11};
    };
    taken.push_back(place());
    label(w, taken.back().left + 1, taken.back().bottom - 3, p.text, "start", kInk, 12, true);
  }
}

// One series: its line, each point with its 95 % whisker, a ring around picked points.
void sweepSeries(svg::Writer& w, const SweepSeries& series, std::size_t index,
                 const std::pair<Scale, Scale>& scales, double offset,
                 std::vector<PickedLabel>& picked) {
  const auto& [sx, sy] = scales;
  const std::string_view colour = paletteColour(index);
  const int shape = static_cast<int>(index % 4);
  std::vector<SweepPoint> points = series.points;
  std::sort(points.begin(), points.end(),
            [](const SweepPoint& a, const SweepPoint& b) { return a.x < b.x; });
  w.open("g", {{"class", "series"}});
  polyline(w, mapped(points, sx, [](const SweepPoint& p) { return p.x; }),
           mapped(points, sy, [](const SweepPoint& p) { return p.everOverheated.value * 100.0; }),
           colour, 1.8, seriesDash(index), "series-line");
  for (const SweepPoint& p : points) {
    const double x = sx(p.x) + offset;
    const double y = sy(p.everOverheated.value * 100.0);
    const double low = sy(p.everOverheated.low * 100.0);
    const double high = sy(p.everOverheated.high * 100.0);
    line(w, x, low, x, high, colour, 1.2);
    line(w, x - 3, low, x + 3, low, colour, 1.2);
    line(w, x - 3, high, x + 3, high, colour, 1.2);
    marker(w, x, y, 4.5, colour, shape);
    if (p.picked) {
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

// Series side by side at a shared x, so that their whiskers do not hide each other: at most
// 5 px apart and together within 60 % of the narrowest gap between points.
double dodgeStep(std::vector<double> xs, std::size_t seriesCount) {
  if (seriesCount < 2) {
    return 0.0;
  }
  std::sort(xs.begin(), xs.end());
  double gap = 40.0;
  for (std::size_t i = 1; i < xs.size(); ++i) {
    if (xs[i] - xs[i - 1] > 0.5) {
      gap = std::min(gap, xs[i] - xs[i - 1]);
    }
  }
  return std::min(5.0, 0.6 * gap / static_cast<double>(seriesCount));
}

struct LaneTotals {
  int turns = 0;    // Turns with some amount.
  int total = 0;    // All amounts together.
  int tallest = 1;  // The largest amount, at least 1.
};

LaneTotals laneTotals(const std::vector<RunTurn>& turns, int RunTurn::*field) {
  LaneTotals totals;
  for (const RunTurn& t : turns) {
    totals.turns += t.*field > 0 ? 1 : 0;
    totals.total += t.*field;
    totals.tallest = std::max(totals.tallest, t.*field);
  }
  return totals;
}

std::string runSummary(const RunChart& chart) {
  const auto& turns = chart.turns;
  if (turns.empty()) {
    return "One run with no turns to show.";
  }
  const RunTurn* peak = &turns.front();
  int overheated = 0;
  int critical = 0;
  int changes = 0;
  std::string places;
  for (const RunTurn& t : turns) {
    if (t.heat > peak->heat) {
      peak = &t;
    }
    overheated += t.heat > chart.overheatLevel ? 1 : 0;
    critical += t.heat >= chart.criticalLevel ? 1 : 0;
    if (t.movedTo) {
      places += (changes == 0 ? "" : ", ") + *t.movedTo;
      ++changes;
    }
  }
  const LaneTotals coolant = laneTotals(turns, &RunTurn::coolantDrawn);
  const LaneTotals damage = laneTotals(turns, &RunTurn::damagePercent);
  std::string summary = "One run over " + std::to_string(turns.size()) + " turns. Heat starts at " +
                        num(turns.front().heat) + ", peaks at " + num(peak->heat) + " on turn " +
                        std::to_string(peak->turn) + " and ends at " + num(turns.back().heat) +
                        ". It is above the overheat level " + num(chart.overheatLevel) + " after " +
                        std::to_string(overheated) + " turns and at or above the critical level " +
                        num(chart.criticalLevel) + " after " + std::to_string(critical) + ". " +
                        std::to_string(changes) + " environment changes";
  if (changes > 0 && places.size() < 200) {  // A longer list would drown the summary.
    summary += " (" + places + ")";
  }
  return summary + "; coolant drawn on " + std::to_string(coolant.turns) + " turns, " +
         std::to_string(coolant.total) + " liters in all; heatsink damage on " +
         std::to_string(damage.turns) + " turns, " + std::to_string(damage.total) + " % in all.";
}

// Which environment the run is in, turn by turn, with a key of the environments entered.
void environmentLane(svg::Writer& w, const std::vector<RunTurn>& turns, const Scale& sx,
                     double laneTop) {
  w.open("g", {{"class", "environment-lane"}});
  label(w, kLeft, laneTop + 10, "Environment", "start", kInk, 12);
  std::vector<std::string> names;
  for (const RunTurn& t : turns) {
    if (t.movedTo && std::find(names.begin(), names.end(), *t.movedTo) == names.end()) {
      names.push_back(*t.movedTo);
    }
  }
  double keyX = kLeft + 90.0;
  for (std::size_t i = 0; i < names.size() && keyX < kRight - 60.0; ++i) {
    rect(w, keyX, laneTop + 1, 12, 11, paletteColour(i), 0.45);
    label(w, keyX + 16, laneTop + 10, names[i], "start", kInk, 12);
    keyX += 34.0 + textWidth(names[i], 12.0);
  }
  // One stretch per environment entered; turns before the first change are in an unnamed one.
  for (std::size_t start = 0; start < turns.size();) {
    std::size_t end = start + 1;
    while (end < turns.size() && !turns[end].movedTo) {
      ++end;
    }
    const double x0 = sx(static_cast<double>(turns[start].turn) - 0.5);
    const double x1 = sx(static_cast<double>(turns[end - 1].turn) + 0.5);
    const std::string name = turns[start].movedTo.value_or("");
    std::string_view colour = "#dddddd";
    if (turns[start].movedTo) {
      const auto known = std::find(names.begin(), names.end(), *turns[start].movedTo);
      colour = paletteColour(static_cast<std::size_t>(known - names.begin()));
    }
    rect(w, x0, laneTop + 16, std::max(x1 - x0, 1.0), 20, colour, 0.45);
    if (!name.empty() && x1 - x0 > textWidth(name, 11.0) + 8.0) {
      w.text("text", {{"x", x0 + 4}, {"y", laneTop + 30}, {"font-size", 11}, {"fill", kInk}}, name);
    }
    start = end;
  }
  w.close();
}

// Bars of coolant drawn and heatsink damage per turn; amounts are written over the bars when
// turns are wide enough and the labels do not run into each other.
void barLanes(svg::Writer& w, const std::vector<RunTurn>& turns, const Scale& sx, double lanesTop) {
  struct Lane {
    std::string_view title;
    int RunTurn::*field;
    std::string_view colour, unit, cls;
  };
  const std::array<Lane, 2> lanes = {
      Lane{"Coolant drawn (liters", &RunTurn::coolantDrawn, kGreen, " L", "coolant-lane"},
      Lane{"Heatsink damage (percent", &RunTurn::damagePercent, kPurple, " %", "damage-lane"}};
  const double perTurn = sx(1.0) - sx(0.0);
  const double barWidth = std::clamp(perTurn * 0.7, 1.0, 14.0);
  double y0 = lanesTop + 52.0;
  for (const Lane& lane : lanes) {
    const double tallest = static_cast<double>(laneTotals(turns, lane.field).tallest);
    w.open("g", {{"class", lane.cls}});
    label(w, kLeft, y0,
          std::string(lane.title) + "; tallest bar " + svg::formatNumber(tallest) +
              std::string(lane.unit) + ")",
          "start", kInk, 12);
    line(w, kLeft, y0 + 40, kRight, y0 + 40, kGrid, 1);
    double labelEnd = -1e9;
    for (const RunTurn& t : turns) {
      const int amount = t.*(lane.field);
      if (amount <= 0) {
        continue;
      }
      const double x = sx(static_cast<double>(t.turn));
      const double height = 24.0 * static_cast<double>(amount) / tallest;
      rect(w, x - barWidth / 2.0, y0 + 40 - height, barWidth, height, lane.colour);
      const std::string text = std::to_string(amount) + std::string(lane.unit);
      const double halfWidth = textWidth(text, 11.0) / 2.0;
      if (perTurn >= 6.0 && x - halfWidth > labelEnd + 3.0) {
        label(w, x, y0 + 37 - height, text, "middle", kInk, 11);
        labelEnd = x + halfWidth;
      }
    }
    w.close();
    y0 += 52.0;
  }
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

void writeBatchChart(std::ostream& out, const BatchChart& chart) {
  const auto& turns = chart.turns;
  svg::Writer w(out);
  startDocument(w, out, chart, 925.0, "Heat of a batch of runs", batchSummary(chart));
  const auto [firstTurn, lastTurn] = turnRange(turns);
  const Ticks turnTicks = integerTicks(firstTurn, lastTurn, 10);
  const Scale turnX{turnTicks.low, turnTicks.high, kLeft, kRight};
  const std::vector<double> xs =
      mapped(turns, turnX, [](const TurnPoint& p) { return static_cast<double>(p.turn); });

  Frame f =
      openPanel(w, "heat-panel", 64, "Heat level per turn, across all runs",
                {{"Median", kBlue},
                 {"Middle 50 % of runs (25th–75th percentile)", kBlue, Swatch::kBand, "none", 0.35},
                 {"Middle 80 % (10th–90th)", kSky, Swatch::kBand, "none", 0.3}},
                200.0);
  double maxHeat = chart.criticalLevel * 1.08;
  double minHeat = 0.0;
  for (const TurnPoint& p : turns) {
    maxHeat = std::max(maxHeat, p.p90);
    minHeat = std::min(minHeat, p.p10);
  }
  const Ticks heatTicks = niceTicks(minHeat, maxHeat, 6);
  const Scale heatY{heatTicks.low, heatTicks.high, f.bottom, f.top};
  yAxis(w, f, heatY, heatTicks, "Heat level", false);
  xAxis(w, f, turnX, turnTicks, "");
  const auto heat = [&](double TurnPoint::*field) {
    return mapped(turns, heatY, [field](const TurnPoint& p) { return p.*field; });
  };
  band(w, xs, {heat(&TurnPoint::p10), heat(&TurnPoint::p90)}, kSky, 0.3);
  band(w, xs, {heat(&TurnPoint::p25), heat(&TurnPoint::p75)}, kBlue, 0.35);
  polyline(w, xs, heat(&TurnPoint::p50), kBlue, 2.5, "none", "median");
  heatLevels(w, f, heatY, chart.overheatLevel, chart.criticalLevel);
  closePanel(w, f, turns.empty());

  struct ShareSeries {
    Share TurnPoint::*field;
    LegendItem key;
    std::string_view cls;
  };
  const std::array<ShareSeries, 3> shares = {
      ShareSeries{&TurnPoint::overheated, {"Overheated now", kOrange}, "overheated"},
      ShareSeries{
          &TurnPoint::critical, {"Critical flag", kVermillion, Swatch::kLine, "7 3"}, "critical"},
      ShareSeries{&TurnPoint::everOverheated,
                  {"Ever overheated by this turn", kBlue, Swatch::kLine, "2 3"},
                  "ever-overheated"}};
  f = openPanel(w, "share-panel", f.bottom + 52, "Share of runs per turn (shaded: 95 % interval)",
                {shares[0].key, shares[1].key, shares[2].key}, 180.0);
  const Ticks percentTicks = niceTicks(0, 100, 5);
  const Scale percentY{0, 100, f.bottom, f.top};
  yAxis(w, f, percentY, percentTicks, "Share of runs (%)", false);
  xAxis(w, f, turnX, turnTicks, "Turn");
  for (const ShareSeries& s : shares) {
    const auto percent = [&](double Share::*part) {
      return mapped(turns, percentY,
                    [&](const TurnPoint& p) { return (p.*(s.field)).*part * 100.0; });
    };
    band(w, xs, {percent(&Share::low), percent(&Share::high)}, s.key.colour, 0.18);
    polyline(w, xs, percent(&Share::value), s.key.colour, 2.2, s.key.dash, s.cls);
  }
  closePanel(w, f, turns.empty());

  // The final heat histogram and the share of runs ending at least that hot.
  const auto& bins = chart.finalHeat;
  f = openPanel(w, "final-panel", f.bottom + 72, "Heat after the last turn",
                {{"Runs ending in this heat range", kSky, Swatch::kBar},
                 {"Runs ending at this heat or higher", kInk}},
                180.0);
  double maxShare = 0.01;
  for (const HeatBin& b : bins) {
    maxShare = std::max(maxShare, b.share * 100.0);
  }
  const Ticks binTicks = niceTicks(0, maxShare, 5);
  const Scale binY{binTicks.low, binTicks.high, f.bottom, f.top};
  const Ticks heatLevelTicks = bins.empty() ? niceTicks(0, chart.criticalLevel, 8)
                                            : niceTicks(bins.front().low, bins.back().high, 8);
  const Scale heatX{heatLevelTicks.low, heatLevelTicks.high, kLeft, kRight};
  const Scale atLeastY{0, 100, f.bottom, f.top};
  yAxis(w, f, binY, binTicks, "Runs in range (%)", false);
  yAxis(w, f, atLeastY, percentTicks, "Runs at or above (%)", true);
  xAxis(w, f, heatX, heatLevelTicks, "Heat level after the last turn");
  for (const HeatBin& b : bins) {
    const double x0 = heatX(b.low);
    const double y = binY(b.share * 100.0);
    rect(w, x0, y, std::max(heatX(b.high) - x0 - 1.0, 1.0), f.bottom - y, kSky);
  }
  polyline(w, mapped(bins, heatX, [](const HeatBin& b) { return b.low; }),
           mapped(bins, atLeastY, [](const HeatBin& b) { return b.shareAtLeast * 100.0; }), kInk, 2,
           "none", "at-least");
  for (const auto& [level, colour] :
       {std::pair{chart.overheatLevel, kOrange}, std::pair{chart.criticalLevel, kVermillion}}) {
    const double x = heatX(level);
    if (bins.empty() || x < f.left || x > f.right) {
      continue;
    }
    line(w, x, f.top, x, f.bottom, colour, 1.5, "6 4");
    label(w, x + 4, f.top + 14, num(level), "start", colour, 12, true);
  }
  closePanel(w, f, bins.empty());
}

void writeSweepChart(std::ostream& out, const SweepChart& chart) {
  const std::size_t n = chart.series.size();
  std::vector<LegendItem> seriesLegend;
  std::vector<double> allX;
  double widest = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const SweepSeries& s = chart.series[i];
    const LegendItem item{s.label, paletteColour(i),       Swatch::kLine, seriesDash(i),
                          1.0,     static_cast<int>(i % 4)};
    seriesLegend.push_back(item);
    widest = std::max(widest, itemWidth(item));
    for (const SweepPoint& p : s.points) {
      allX.push_back(p.x);
    }
  }
  const int columns = std::clamp(static_cast<int>((kRight - kLeft) / std::max(widest, 1.0)), 1, 4);
  const double legendRows = std::ceil(static_cast<double>(n) / static_cast<double>(columns));
  svg::Writer w(out);
  startDocument(w, out, chart, 540.0 + legendRows * 20.0, "Ever overheated by design",
                sweepSummary(chart));
  std::vector<LegendItem> key = {{"95 % interval", kInk, Swatch::kWhisker},
                                 {"Picked design (x → share)", kInk, Swatch::kRing}};
  std::string limit;
  std::string limitKey;
  if (chart.maxOverheat) {
    limit = pct(*chart.maxOverheat);
    limitKey = "Most accepted: " + limit;
    key.push_back({limitKey, kMuted, Swatch::kLine, "8 4"});
  }
  const double top = 64.0 + legend(w, kLeft, 64, key);
  const Frame f{kLeft, top, kRight, top + 380.0};
  const auto [minX, maxX] = std::minmax_element(allX.begin(), allX.end());
  const Ticks xTicks = allX.empty() ? niceTicks(0.0, 1.0, 10) : niceTicks(*minX, *maxX, 10);
  const Scale sx{xTicks.low, xTicks.high, f.left + 16.0, f.right - 16.0};
  const Scale sy{0, 100, f.bottom, f.top};
  yAxis(w, f, sy, niceTicks(0, 100, 10), "Runs ever overheated (%)", false);
  xAxis(w, f, sx, xTicks, chart.xLabel);
  if (chart.maxOverheat) {
    const double y = sy(*chart.maxOverheat * 100.0);
    levelLine(w, f, {"Limit", limit, kMuted, y}, y);
  }
  const double dodge = dodgeStep(mapped(allX, sx, [](double x) { return x; }), n);
  std::vector<PickedLabel> picked;
  for (std::size_t i = 0; i < n; ++i) {
    const double offset = (static_cast<double>(i) - static_cast<double>(n - 1) / 2.0) * dodge;
    sweepSeries(w, chart.series[i], i, {sx, sy}, offset, picked);
  }
  placePickedLabels(w, f, picked);
  if (allX.empty()) {
    noData(w, f);
  }
  legend(w, kLeft, f.bottom + 70, seriesLegend, columns);
}

void writeRunChart(std::ostream& out, const RunChart& chart) {
  const auto& turns = chart.turns;
  svg::Writer w(out);
  startDocument(w, out, chart, 600.0, "One run, turn by turn", runSummary(chart));
  const double top = 64.0 + legend(w, kLeft, 64,
                                   {{"Heat level after the turn", kBlue},
                                    {"Overheat level", kOrange, Swatch::kLine, "6 4"},
                                    {"Critical level", kVermillion, Swatch::kLine, "6 4"}});
  const Frame f{kLeft, top, kRight, top + 270.0};
  const double lanesTop = f.bottom + 14.0;
  double maxHeat = chart.criticalLevel * 1.08;
  for (const RunTurn& t : turns) {
    maxHeat = std::max(maxHeat, t.heat);
  }
  const auto [first, last] = turnRange(turns);
  const Scale sx{first - 0.5, last + 0.5, kLeft, kRight};
  const Ticks heatTicks = niceTicks(0, maxHeat, 6);
  const Scale sy{heatTicks.low, heatTicks.high, f.bottom, f.top};
  yAxis(w, f, sy, heatTicks, "Heat level", false);
  // The turn axis runs under the event lanes too.
  xAxis(w, {kLeft, top, kRight, lanesTop + 156.0}, sx, integerTicks(first, last, 10), "Turn");
  line(w, f.left, f.bottom, f.right, f.bottom, kMuted, 1);
  const auto moved = [](const RunTurn& t) { return t.movedTo.has_value(); };
  if (std::count_if(turns.begin(), turns.end(), moved) <= 60) {  // More would hide the plot.
    for (const RunTurn& t : turns) {
      if (t.movedTo && &t != &turns.front()) {
        const double x = sx(static_cast<double>(t.turn) - 0.5);
        line(w, x, f.top, x, lanesTop + 36.0, "#999999", 1, "2 3");
      }
    }
  }
  heatLevels(w, f, sy, chart.overheatLevel, chart.criticalLevel);
  const auto turnX = [](const RunTurn& t) { return static_cast<double>(t.turn); };
  polyline(w, mapped(turns, sx, turnX), mapped(turns, sy, [](const RunTurn& t) { return t.heat; }),
           kBlue, 2, "none", "heat");
  if (turns.size() <= 60) {  // More markers would merge into a band.
    for (const RunTurn& t : turns) {
      marker(w, sx(turnX(t)), sy(t.heat), 3, kBlue, 0);
    }
  }
  if (turns.empty()) {
    noData(w, f);
  }
  environmentLane(w, turns, sx, lanesTop);
  barLanes(w, turns, sx, lanesTop);
}

}  // namespace reports::charts
