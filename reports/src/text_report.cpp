#include "reports/text_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

#include "reports/summary.hpp"

namespace reports {
namespace {

constexpr int kMaxRows = 20;
constexpr int kBarWidth = 20;

std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string{thing} + (count == 1 ? "" : "s");
}

// "hot-air" as "hot air".
std::string spaced(std::string_view name) {
  std::string text{name};
  std::ranges::replace(text, '-', ' ');
  return text;
}

void printPercent(std::ostream& out, double fraction, int width) {
  out << "  " << std::setw(width) << 100.0 * fraction << " %";
}

}  // namespace

void printText(std::ostream& out, const simulation::BatchResult& result) {
  const Summary summary = summarize(result);
  const simulation::BatchSettings& settings = summary.settings;
  const heat::MechHeatSystem& mech = settings.mech;
  // Formatted apart, so that `out` keeps its own formatting.
  std::ostringstream text;
  const std::string heatsink = std::string{heatsinkTypeName(mech.heatsinkType)} + " heatsink";
  text << counted(settings.runs, "run") << " of "
       << counted(static_cast<std::uint64_t>(settings.turns), "turn") << ", seed " << settings.seed
       << ": " << counted(static_cast<std::uint64_t>(mech.heatsinkCount), heatsink) << ", "
       << counted(static_cast<std::uint64_t>(mech.coolantLiters), "liter") << ", starting in "
       << spaced(heat::traitsOf(mech.environment).optionName) << "\n";

  // The columns of turns and of heat grow with their largest value.
  const int turnWidth = std::max(4, static_cast<int>(std::to_string(settings.turns).size()));
  const double hottestMean = std::ranges::max(summary.perTurn, {}, &TurnSummary::meanHeat).meanHeat;
  const int heatWidth =
      std::max(9, static_cast<int>(std::to_string(std::llround(hottestMean)).size()) + 2);
  text << std::setw(turnWidth) << "turn"
       << "  overheated  critical  tank empty  " << std::setw(heatWidth) << "mean heat"
       << "\n";
  text << std::fixed << std::setprecision(1);
  for (const int turn : shownTurns(settings.turns, kMaxRows)) {
    const TurnSummary& row = summary.perTurn[static_cast<std::size_t>(turn - 1)];
    text << std::setw(turnWidth) << turn;
    printPercent(text, row.overheated, 8);
    printPercent(text, row.critical, 6);
    printPercent(text, row.coolantEmpty, 8);
    text << "  " << std::setw(heatWidth) << row.meanHeat;
    const auto bar = static_cast<std::size_t>(std::lround(row.overheated * kBarWidth));
    if (bar > 0) {
      text << "  " << std::string(bar, '#');
    }
    text << "\n";
  }
  const FinalHeat& heat = summary.finalHeat;
  text << "ever overheated " << 100.0 * summary.everOverheated << " %, ever critical "
       << 100.0 * summary.everCritical << " %\n";
  text << "final heat: mean " << heat.mean << "  median " << heat.median << "  90th " << heat.p90
       << "  99th " << heat.p99 << "  max " << heat.max << "\n";
  text << "hottest run: " << summary.hottest.run << ", final heat " << summary.hottest.finalHeat
       << " (" << replayCommand(settings, summary.hottest.run) << ")\n";
  out << text.str();
}

}  // namespace reports
