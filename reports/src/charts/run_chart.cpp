// A narrated run's chart: the heat after each turn and each turn's events.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "axes.hpp"
#include "legend.hpp"
#include "reports/charts.hpp"

namespace reports::charts {
namespace {

constexpr double kRight = 728.0;

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
  label(w, sx.lowPixel, laneTop + 10, "Environment", {});
  std::vector<std::string> names;
  for (const RunTurn& t : turns) {
    if (t.movedTo && std::find(names.begin(), names.end(), *t.movedTo) == names.end()) {
      names.push_back(*t.movedTo);
    }
  }
  double keyX = sx.lowPixel + 90.0;
  for (std::size_t i = 0; i < names.size() && keyX < kRight - 60.0; ++i) {
    rect(w, {keyX, laneTop + 1, keyX + 12, laneTop + 12}, paletteColour(i), 0.45);
    label(w, keyX + 16, laneTop + 10, names[i], {});
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
    rect(w, {x0, laneTop + 16, x0 + std::max(x1 - x0, 1.0), laneTop + 36}, colour, 0.45);
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
    label(w, sx.lowPixel, y0,
          std::string(lane.title) + "; tallest bar " + svg::formatNumber(tallest) +
              std::string(lane.unit) + ")",
          {});
    line(w, {sx.lowPixel, y0 + 40, kRight, y0 + 40}, kGrid, 1);
    double labelEnd = -1e9;
    for (const RunTurn& t : turns) {
      const int amount = t.*(lane.field);
      if (amount <= 0) {
        continue;
      }
      const double x = sx(static_cast<double>(t.turn));
      const double height = 24.0 * static_cast<double>(amount) / tallest;
      rect(w, {x - barWidth / 2.0, y0 + 40 - height, x + barWidth / 2.0, y0 + 40}, lane.colour);
      const std::string text = std::to_string(amount) + std::string(lane.unit);
      const double halfWidth = textWidth(text, 11.0) / 2.0;
      if (perTurn >= 6.0 && x - halfWidth > labelEnd + 3.0) {
        label(w, x, y0 + 37 - height, text, {"middle", kInk, 11});
        labelEnd = x + halfWidth;
      }
    }
    w.close();
    y0 += 52.0;
  }
}

}  // namespace

void writeRunChart(std::ostream& out, const RunChart& chart) {
  const auto& turns = chart.turns;
  double maxHeat = chart.criticalLevel * 1.08;
  for (const RunTurn& t : turns) {
    maxHeat = std::max(maxHeat, t.heat);
  }
  const Ticks heatTicks = niceTicks(0, maxHeat, 6);
  const double widestLabel = widest(tickLabels(heatTicks));
  const double left = plotLeft(widestLabel);
  svg::Writer w(out);
  startDocument(out, w, page(chart, 600.0, left, "One run, turn by turn", runSummary(chart)));
  const double top = 64.0 + legend(w, {left, 64, kRight},
                                   {{"Heat level after the turn", kBlue},
                                    {"Overheat level", kOrange, Swatch::kLine, "6 4"},
                                    {"Critical level", kVermillion, Swatch::kLine, "6 4"}});
  const Box f{left, top, kRight, top + 270.0};
  const double lanesTop = f.bottom + 14.0;
  // The first and the last turn; an empty chart shows turns 1 to 10.
  const double first = turns.empty() ? 1.0 : static_cast<double>(turns.front().turn);
  const double last = turns.empty() ? 10.0 : static_cast<double>(turns.back().turn);
  const Scale sx{first - 0.5, last + 0.5, left, kRight};
  const Scale sy{heatTicks.low, heatTicks.high, f.bottom, f.top};
  yAxis(w, f, {sy, heatTicks, "Heat level", Side::kLeft, widestLabel});
  // The turn axis runs under the event lanes too.
  xAxis(w, {left, top, kRight, lanesTop + 156.0}, sx, integerTicks(first, last, 10), "Turn");
  line(w, {f.left, f.bottom, f.right, f.bottom}, kMuted, 1);
  const auto moved = [](const RunTurn& t) { return t.movedTo.has_value(); };
  if (std::count_if(turns.begin(), turns.end(), moved) <= 60) {  // More would hide the plot.
    for (const RunTurn& t : turns) {
      if (t.movedTo && &t != &turns.front()) {
        const double x = sx(static_cast<double>(t.turn) - 0.5);
        line(w, {x, f.top, x, lanesTop + 36.0}, "#999999", 1, "2 3");
      }
    }
  }
  levelsAcross(
      w, f, sy,
      {{"Overheat", chart.overheatLevel, kOrange}, {"Critical", chart.criticalLevel, kVermillion}});
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
