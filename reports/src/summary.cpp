#include "reports/summary.hpp"

#include <algorithm>
#include <cstddef>
#include <tuple>

namespace reports {
namespace {

Estimate shareOf(std::uint64_t count, std::uint64_t runs) {
  return Estimate{static_cast<double>(count) / static_cast<double>(runs),
                  simulation::shareInterval(count, runs)};
}

}  // namespace

double Estimate::halfWidth() const { return std::max(value - ci95.low, ci95.high - value); }

Summary summarize(const simulation::BatchResult& result) {
  const simulation::BatchTally& tally = result.tally;
  const std::uint64_t runs = tally.runs;
  Summary summary{result.settings, {}, {}, {}, {}, {}, tally.hottest};
  summary.perTurn.reserve(tally.perTurn.size());
  int turn = 0;
  for (const simulation::TurnTally& counted : tally.perTurn) {
    const double mean = counted.heatSum / static_cast<double>(runs);
    summary.perTurn.push_back(TurnSummary{
        ++turn, shareOf(counted.overheated, runs), shareOf(counted.critical, runs),
        shareOf(counted.coolantEmpty, runs), shareOf(counted.everOverheated, runs),
        shareOf(counted.everCritical, runs),
        Estimate{mean, simulation::meanInterval(counted.heatSum, counted.heatSquares, runs)},
        std::nullopt});
  }
  const std::vector<int> charted = simulation::chartedTurns(result.settings);
  for (std::size_t chart = 0; chart < tally.turnHeat.size(); ++chart) {
    const simulation::TurnHeatHistogram& heat = tally.turnHeat[chart];
    summary.perTurn[static_cast<std::size_t>(charted[chart] - 1)].heat =
        HeatPercentiles{heat.percentile(0.1), heat.percentile(0.25), heat.percentile(0.5),
                        heat.percentile(0.75), heat.percentile(0.9)};
  }
  const TurnSummary& last = summary.perTurn.back();
  summary.everOverheated = last.everOverheated;
  summary.everCritical = last.everCritical;
  summary.damagedOut = shareOf(tally.damagedOut, runs);
  const simulation::HeatHistogram& heat = tally.finalHeat;
  summary.finalHeat = FinalHeat{last.meanHeat.value, heat.percentile(0.5), heat.percentile(0.9),
                                heat.percentile(0.99), heat.max()};
  return summary;
}

std::uint64_t reportMemory(const simulation::SweepSettings& settings) {
  return settings.designs.size() *
         (sizeof(Summary) + sizeof(TurnSummary) * static_cast<std::uint64_t>(settings.turns));
}

std::vector<Enough> enoughDesigns(const std::vector<Summary>& designs, double maxOverheat) {
  std::vector<Enough> picks;
  for (std::size_t design = 0; design < designs.size(); ++design) {
    const heat::MechHeatSystem& mech = designs[design].settings.mech;
    auto pick = std::ranges::find(picks, mech.environment, &Enough::environment);
    if (pick == picks.end()) {
      pick = picks.insert(picks.end(), Enough{mech.environment, std::nullopt});
    }
    if (designs[design].everOverheated.ci95.high > maxOverheat) {
      continue;
    }
    const auto cost = [&](std::size_t index) {
      const heat::MechHeatSystem& candidate = designs[index].settings.mech;
      return std::tuple{candidate.heatsinkCount, candidate.heatsinkType, candidate.coolantLiters};
    };
    if (!pick->design || cost(design) < cost(*pick->design)) {
      pick->design = design;
    }
  }
  return picks;
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
    command += " --heatsink-type " + std::string{heatsinkTypeName(mech.heatsinkType)};
  }
  if (mech.coolantLiters != defaults.coolantLiters) {
    command += " --coolant " + std::to_string(mech.coolantLiters);
  }
  if (mech.environment != defaults.environment) {
    command += " --environment " + std::string{heat::traitsOf(mech.environment).optionName};
  }
  return command;
}

std::string environmentWords(heat::Environment environment) {
  std::string text{heat::traitsOf(environment).optionName};
  std::ranges::replace(text, '-', ' ');
  return text;
}

std::string_view heatsinkTypeName(heat::HeatsinkType type) {
  return type == heat::HeatsinkType::Double ? "double" : "single";
}

}  // namespace reports
