// A batch's chart: the heat over the turns, the shares over the turns, the final heat.
#include <algorithm>
#include <array>

#include "axes.hpp"
#include "legend.hpp"
#include "reports/charts.hpp"

namespace reports::charts {
namespace {

constexpr double kRight = 728.0;

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
std::pair<double, double> turnRange(const std::vector<TurnPoint>& turns) {
  if (turns.empty()) {
    return {1.0, 10.0};
  }
  return {static_cast<double>(turns.front().turn), static_cast<double>(turns.back().turn)};
}

// Every axis of the chart, worked out before anything is drawn, so that the plots start where
// the widest of their tick labels leaves room.
struct BatchAxes {
  Ticks turns, heat, percent, bins, finalHeat;
  double widestLeft = 0.0;
};

BatchAxes batchAxes(const BatchChart& chart) {
  BatchAxes axes;
  const auto [firstTurn, lastTurn] = turnRange(chart.turns);
  axes.turns = integerTicks(firstTurn, lastTurn, 10);
  double maxHeat = chart.criticalLevel * 1.08;
  double minHeat = 0.0;
  for (const TurnPoint& p : chart.turns) {
    maxHeat = std::max(maxHeat, p.p90);
    minHeat = std::min(minHeat, p.p10);
  }
  axes.heat = niceTicks(minHeat, maxHeat, 6);
  axes.percent = niceTicks(0, 100, 5);
  double maxShare = 0.01;
  for (const HeatBin& b : chart.finalHeat) {
    maxShare = std::max(maxShare, b.share * 100.0);
  }
  axes.bins = niceTicks(0, maxShare, 5);
  axes.finalHeat = chart.finalHeat.empty()
                       ? niceTicks(0, chart.criticalLevel, 8)
                       : niceTicks(chart.finalHeat.front().low, chart.finalHeat.back().high, 8);
  for (const Ticks* t : {&axes.heat, &axes.percent, &axes.bins}) {
    axes.widestLeft = std::max(axes.widestLeft, widest(tickLabels(*t)));
  }
  return axes;
}

// Opens a panel's group with its title and legend; returns its plot.
Box openPanel(svg::Writer& w, double left, double titleY, std::string_view title,
              const std::vector<LegendItem>& key, double plotHeight) {
  label(w, left, titleY, title, {"start", kInk, 14});
  const double top = titleY + 20.0 + legend(w, {left, titleY + 20.0, kRight}, key);
  return {left, top, kRight, top + plotHeight};
}

// A panel with nothing to show says so.
void closePanel(svg::Writer& w, const Box& plot, bool empty) {
  if (empty) {
    noData(w, plot);
  }
  w.close();
}

std::vector<Level> heatLevels(const BatchChart& chart) {
  return {{"Overheat", chart.overheatLevel, kOrange},
          {"Critical", chart.criticalLevel, kVermillion}};
}

double heatPanel(svg::Writer& w, const BatchChart& chart, const BatchAxes& axes, double left) {
  const auto& turns = chart.turns;
  w.open("g", {{"class", "heat-panel"}});
  const Box f =
      openPanel(w, left, 64, "Heat level per turn, across all runs",
                {{"Median", kBlue},
                 {"Middle 50 % of runs (25th–75th percentile)", kBlue, Swatch::kBand, "none", 0.35},
                 {"Middle 80 % (10th–90th)", kSky, Swatch::kBand, "none", 0.3}},
                200.0);
  const Scale turnX{axes.turns.low, axes.turns.high, f.left, f.right};
  const Scale heatY{axes.heat.low, axes.heat.high, f.bottom, f.top};
  yAxis(w, f, {heatY, axes.heat, "Heat level", Side::kLeft, axes.widestLeft});
  xAxis(w, f, turnX, axes.turns, "");
  const std::vector<double> xs =
      mapped(turns, turnX, [](const TurnPoint& p) { return static_cast<double>(p.turn); });
  const auto heat = [&](double TurnPoint::*field) {
    return mapped(turns, heatY, [field](const TurnPoint& p) { return p.*field; });
  };
  band(w, xs, heat(&TurnPoint::p10), heat(&TurnPoint::p90), kSky, 0.3);
  band(w, xs, heat(&TurnPoint::p25), heat(&TurnPoint::p75), kBlue, 0.35);
  polyline(w, xs, heat(&TurnPoint::p50), kBlue, 2.5, "none", "median");
  levelsAcross(w, f, heatY, heatLevels(chart));
  closePanel(w, f, turns.empty());
  return f.bottom;
}

double sharePanel(svg::Writer& w, const BatchChart& chart, const BatchAxes& axes, double left,
                  double titleY) {
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
  w.open("g", {{"class", "share-panel"}});
  const Box f = openPanel(w, left, titleY, "Share of runs per turn (shaded: 95 % interval)",
                          {shares[0].key, shares[1].key, shares[2].key}, 180.0);
  const Scale turnX{axes.turns.low, axes.turns.high, f.left, f.right};
  const Scale percentY{0, 100, f.bottom, f.top};
  yAxis(w, f, {percentY, axes.percent, "Share of runs (%)", Side::kLeft, axes.widestLeft});
  xAxis(w, f, turnX, axes.turns, "Turn");
  const std::vector<double> xs =
      mapped(chart.turns, turnX, [](const TurnPoint& p) { return static_cast<double>(p.turn); });
  for (const ShareSeries& s : shares) {
    const auto percent = [&](double Share::*part) {
      return mapped(chart.turns, percentY,
                    [&](const TurnPoint& p) { return (p.*(s.field)).*part * 100.0; });
    };
    band(w, xs, percent(&Share::low), percent(&Share::high), s.key.colour, 0.18);
    polyline(w, xs, percent(&Share::value), s.key.colour, 2.2, s.key.dash, s.cls);
  }
  closePanel(w, f, chart.turns.empty());
  return f.bottom;
}

// The final heat's histogram and the share of runs ending at least that hot.
void finalPanel(svg::Writer& w, const BatchChart& chart, const BatchAxes& axes, double left,
                double titleY) {
  const auto& bins = chart.finalHeat;
  w.open("g", {{"class", "final-panel"}});
  const Box f = openPanel(w, left, titleY, "Heat after the last turn",
                          {{"Runs ending in this heat range", kSky, Swatch::kBar},
                           {"Runs ending at this heat or higher", kInk}},
                          180.0);
  const Scale binY{axes.bins.low, axes.bins.high, f.bottom, f.top};
  const Scale heatX{axes.finalHeat.low, axes.finalHeat.high, f.left, f.right};
  const Scale atLeastY{0, 100, f.bottom, f.top};
  yAxis(w, f, {binY, axes.bins, "Runs in range (%)", Side::kLeft, axes.widestLeft});
  yAxis(w, f,
        {atLeastY, axes.percent, "Runs at or above (%)", Side::kRight,
         widest(tickLabels(axes.percent))});
  xAxis(w, f, heatX, axes.finalHeat, "Heat level after the last turn");
  for (const HeatBin& b : bins) {
    const double x0 = heatX(b.low);
    const double y = binY(b.share * 100.0);
    rect(w, {x0, y, x0 + std::max(heatX(b.high) - x0 - 1.0, 1.0), f.bottom}, kSky);
  }
  polyline(w, mapped(bins, heatX, [](const HeatBin& b) { return b.low; }),
           mapped(bins, atLeastY, [](const HeatBin& b) { return b.shareAtLeast * 100.0; }), kInk, 2,
           "none", "at-least");
  if (!bins.empty()) {
    levelsUpright(w, f, heatX, heatLevels(chart));
  }
  closePanel(w, f, bins.empty());
}

}  // namespace

void writeBatchChart(std::ostream& out, const BatchChart& chart) {
  const BatchAxes axes = batchAxes(chart);
  const double left = plotLeft(axes.widestLeft);
  svg::Writer w(out);
  startDocument(out, w, page(chart, 925.0, left, "Heat of a batch of runs", batchSummary(chart)));
  double bottom = heatPanel(w, chart, axes, left);
  bottom = sharePanel(w, chart, axes, left, bottom + 52.0);
  finalPanel(w, chart, axes, left, bottom + 72.0);
}

}  // namespace reports::charts
