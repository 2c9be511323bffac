#include "reports/summary.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>

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

std::vector<VersusSummary> versusSummaries(const simulation::SweepResult& result) {
  std::vector<VersusSummary> summaries;
  if (!result.settings.versus) {
    return summaries;
  }
  const std::vector<std::size_t>& baselines = result.settings.versus->baselines;
  for (std::size_t design = 0; design < result.designs.size(); ++design) {
    const simulation::Differences found =
        baselines[design] == design ? simulation::Differences{}
                                    : simulation::differences(result.designs[design].tally);
    const auto estimate = [](const simulation::Difference& difference) {
      return Estimate{difference.value, difference.ci95};
    };
    summaries.push_back(VersusSummary{baselines[design], estimate(found.everOverheated),
                                      estimate(found.everCritical), estimate(found.overheated),
                                      estimate(found.finalHeat)});
  }
  return summaries;
}

std::uint64_t reportMemory(const simulation::SweepSettings& settings) {
  return settings.designs.size() *
         (sizeof(Summary) + sizeof(VersusSummary) +
          sizeof(TurnSummary) * static_cast<std::uint64_t>(settings.turns));
}

std::vector<Enough> enoughDesigns(const std::vector<Summary>& designs, double maxOverheat) {
  std::vector<Enough> picks;
  for (std::size_t design = 0; design < designs.size(); ++design) {
    const simulation::BatchSettings& settings = designs[design].settings;
    auto pick = std::ranges::find_if(picks, [&](const Enough& group) {
      return group.environment == settings.mech.environment &&
             designs[group.first].settings.rules == settings.rules;
    });
    if (pick == picks.end()) {
      pick = picks.insert(picks.end(), Enough{settings.mech.environment, design, std::nullopt});
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
  // A rule's name and value hold only letters, digits and marks the shell leaves alone.
  for (const std::size_t rule : changedRules(settings.rules)) {
    command += " --rule " + std::string{simulation::kRuleNames.at(rule).name} + "=" +
               ruleArgument(simulation::ruleValue(settings.rules, rule));
  }
  return command;
}

std::vector<std::size_t> changedRules(const simulation::Rules& rules) {
  const simulation::Rules defaults;
  std::vector<std::size_t> changed;
  for (std::size_t rule = 0; rule < simulation::kRuleNames.size(); ++rule) {
    if (simulation::ruleValue(rules, rule) != simulation::ruleValue(defaults, rule)) {
      changed.push_back(rule);
    }
  }
  return changed;
}

std::vector<std::size_t> SweptRules::all() const {
  std::vector<std::size_t> rules = shared;
  rules.insert(rules.end(), varying.begin(), varying.end());
  std::ranges::sort(rules);
  return rules;
}

SweptRules sweptRules(const simulation::SweepResult& result) {
  const simulation::Rules defaults;
  SweptRules swept;  // a sweep has at least one design
  for (std::size_t rule = 0; rule < simulation::kRuleNames.size(); ++rule) {
    const simulation::RuleValue first =
        simulation::ruleValue(result.designs.front().settings.rules, rule);
    const bool alike = std::ranges::all_of(result.designs, [&](const auto& design) {
      return simulation::ruleValue(design.settings.rules, rule) == first;
    });
    if (!alike) {
      swept.varying.push_back(rule);
    } else if (first != simulation::ruleValue(defaults, rule)) {
      swept.shared.push_back(rule);
    }
  }
  return swept;
}

std::string rulesWords(const simulation::Rules& rules, const std::vector<std::size_t>& which) {
  // Indexes in simulation::kRuleNames.
  constexpr std::size_t kHeatMin = simulation::ruleIndex("heat.min");
  constexpr std::size_t kHeatMax = simulation::ruleIndex("heat.max");
  constexpr std::size_t kHeatWeights = simulation::ruleIndex("heat.weights");
  constexpr std::size_t kLitersMin = simulation::ruleIndex("liters.min");
  constexpr std::size_t kLitersMax = simulation::ruleIndex("liters.max");
  constexpr std::size_t kFirstFactor = simulation::ruleIndex("environments.space");
  const auto value = [&](std::size_t rule) {
    return simulation::ruleText(simulation::ruleValue(rules, rule));
  };
  std::string words;
  bool heatSaid = false;
  bool litersSaid = false;
  for (const std::size_t rule : which) {
    std::string said;
    if (rule <= kHeatWeights) {
      if (std::exchange(heatSaid, true)) {
        continue;
      }
      const std::size_t values = rules.heatValues.size();
      // GCOVR_EXCL_BR_START: the strings' clean-up
      said = values == 0
                 ? "heat " + value(kHeatMin) + ".." + value(kHeatMax)
                 : "heat table of " + std::to_string(values) + (values == 1 ? " value" : " values");
      // GCOVR_EXCL_BR_STOP
    } else if (rule == kLitersMin || rule == kLitersMax) {
      if (std::exchange(litersSaid, true)) {
        continue;
      }
      said = "liters " + value(kLitersMin) + ".." + value(kLitersMax);
    } else if (rule >= kFirstFactor) {
      said = environmentWords(static_cast<heat::Environment>(rule - kFirstFactor)) + " factor " +
             value(rule);
    } else {
      constexpr std::array<std::array<std::string_view, 2>, kFirstFactor> kAround{{
          {},
          {},
          {},
          {},
          {"damage above ", ""},
          {},
          {},
          {"move at ", " liters or fewer"},
          {"coolant on selector ", " or below"},
          {"damage ", " % a step"},
          {"coolant ", " a liter"},
          {"single heatsinks ", ""},
          {"double heatsinks ", ""},
          {"overheat above ", ""},
          {"critical above ", ""},
      }};
      const auto& around = kAround.at(rule);
      said = std::string{around[0]} + value(rule) + std::string{around[1]};
    }
    if (!words.empty()) {
      words += ", ";
    }
    words += said;
  }
  return words;
}

std::string ruleArgument(const simulation::RuleValue& value) {
  if (const auto* list = std::get_if<std::vector<std::int64_t>>(&value)) {
    std::string text;
    for (const std::int64_t entry : *list) {
      if (!text.empty()) {
        text += ',';
      }
      text += std::to_string(entry);
    }
    return text;
  }
  return simulation::ruleText(value);
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
