#include "reports/summary.hpp"

#include <algorithm>
#include <cstddef>

namespace reports {
namespace {

double share(std::uint64_t count, std::uint64_t runs) {
  return static_cast<double>(count) / static_cast<double>(runs);
}

}  // namespace

Summary summarize(const simulation::BatchResult& result) {
  const simulation::BatchTally& tally = result.tally;
  const std::uint64_t runs = tally.runs;
  Summary summary{
      result.settings, {}, share(tally.everOverheated, runs), share(tally.everCritical, runs), {},
      tally.hottest};
  summary.perTurn.reserve(tally.perTurn.size());
  int turn = 0;
  for (const simulation::TurnTally& counted : tally.perTurn) {
    summary.perTurn.push_back(TurnSummary{
        ++turn, share(counted.overheated, runs), share(counted.critical, runs),
        share(counted.coolantEmpty, runs), counted.heatSum / static_cast<double>(runs)});
  }
  const simulation::HeatHistogram& heat = tally.finalHeat;
  summary.finalHeat = FinalHeat{summary.perTurn.back().meanHeat, heat.percentile(0.5),
                                heat.percentile(0.9), heat.percentile(0.99), heat.max()};
  return summary;
}

std::vector<int> shownTurns(int turns, int rows) {
  const int shown = std::min(turns, rows);
  std::vector<int> chosen;
  chosen.reserve(static_cast<std::size_t>(shown));
  for (int row = 1; row <= shown; ++row) {
    chosen.push_back(
        static_cast<int>((static_cast<std::int64_t>(row) * turns + shown - 1) / shown));
  }
  return chosen;
}

std::string replayCommand(const simulation::BatchSettings& settings, std::uint64_t run) {
  const heat::MechHeatSystem& mech = settings.mech;
  const heat::MechHeatSystem defaults;
  std::string command =
      "mech-heat --seed " + std::to_string(settings.seed) + " --run " + std::to_string(run);
  if (settings.turns != simulation::kDefaultTurnCount) {
    command += " --turns " + std::to_string(settings.turns);
  }
  if (mech.heatsinkCount != defaults.heatsinkCount) {
    command += " --heatsinks " + std::to_string(mech.heatsinkCount);
  }
  if (mech.heatsinkType != defaults.heatsinkType) {
    command += " --double";
  }
  if (mech.coolantLiters != defaults.coolantLiters) {
    command += " --coolant " + std::to_string(mech.coolantLiters);
  }
  if (mech.environment != defaults.environment) {
    command += " --environment " + std::string{heat::traitsOf(mech.environment).optionName};
  }
  return command;
}

std::string_view heatsinkTypeName(heat::HeatsinkType type) {
  return type == heat::HeatsinkType::Double ? "double" : "single";
}

}  // namespace reports
