#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulation/batch.hpp"
#include "simulation/rules.hpp"
#include "simulation/statistics.hpp"
#include "simulation/sweep.hpp"

// What a batch's or a sweep's reports say, worked out once from the tallies,
// so that every format prints the same numbers.
namespace reports {

// A share of the runs (0 to 1) or a mean, with its 95 % interval.
struct Estimate {
  double value = 0.0;
  simulation::Interval ci95{};

  // The larger side of the interval: the "±" of the estimate.
  [[nodiscard]] double halfWidth() const;
};

// Percentiles of the heat levels after one turn.
struct HeatPercentiles {
  double p10, p25, p50, p75, p90;
};

struct TurnSummary {
  int turn = 0;  // from 1
  Estimate overheated{};
  Estimate critical{};  // the critical-temperature flag
  Estimate coolantEmpty{};
  Estimate everOverheated{};  // by this turn
  Estimate everCritical{};
  Estimate meanHeat{};
  std::optional<HeatPercentiles> heat;  // for the charted turns
};

struct FinalHeat {
  double mean, median, p90, p99, max;
};

struct Summary {
  simulation::BatchSettings settings;
  std::vector<TurnSummary> perTurn;
  Estimate everOverheated;  // the last turn's
  Estimate everCritical;
  Estimate damagedOut;  // runs whose heatsinks ended past their capacity, heating the mech
  FinalHeat finalHeat;
  simulation::HottestRun hottest;
};

[[nodiscard]] Summary summarize(const simulation::BatchResult& result);

// A design's differences from its baseline in a sweep that compares designs
// (simulation::Versus), its own less the baseline's: shares of the runs ever
// overheated, ever critical and overheated at the end, and the mean final
// heat, each with its paired 95 % interval.
struct VersusSummary {
  std::size_t baseline = 0;  // the index of the baseline design
  Estimate everOverheated;
  Estimate everCritical;
  Estimate overheated;
  Estimate finalHeat;
};

// Each design's differences, in order; none when the sweep compares no designs.
[[nodiscard]] std::vector<VersusSummary> versusSummaries(const simulation::SweepResult& result);

// The most memory, in bytes, that a report of the sweep takes besides the
// sweep's own tallies: a summary of every design.
[[nodiscard]] std::uint64_t reportMemory(const simulation::SweepSettings& settings);

// What reports add to a sweep's numbers.
struct ReportOptions {
  // Name, per environment, the cheapest design whose ever-overheated
  // interval reaches no higher than this share.
  std::optional<double> maxOverheat;
};

// The cheapest design that is enough in one environment under one set of
// rules, if any.
struct Enough {
  heat::Environment environment{};
  std::size_t first = 0;  // the first design of that environment and rules
  std::optional<std::size_t> design;
};

// For each environment and rules of the sweep's designs, in the order they
// first come, the design with the fewest heatsinks, then single before
// double, then the least coolant, whose ever-overheated interval's upper end
// is at most `maxOverheat`: rules are what a designer weighs loadouts under,
// not one more thing to buy.
[[nodiscard]] std::vector<Enough> enoughDesigns(const std::vector<Summary>& designs,
                                                double maxOverheat);

// The command line that narrates run `run` of the batch, under its rules.
[[nodiscard]] std::string replayCommand(const simulation::BatchSettings& settings,
                                        std::uint64_t run);

// The rules that differ from the game's own, as indexes in
// simulation::kRuleNames, in its order.
[[nodiscard]] std::vector<std::size_t> changedRules(const simulation::Rules& rules);

// The rules of a sweep's designs that differ from the game's own: those that
// every design plays alike, and those that differ between designs.
struct SweptRules {
  std::vector<std::size_t> shared;
  std::vector<std::size_t> varying;

  // Both, in the order of simulation::kRuleNames.
  [[nodiscard]] std::vector<std::size_t> all() const;
};
[[nodiscard]] SweptRules sweptRules(const simulation::SweepResult& result);

// Rules `which` of `rules` in words: "heat 0..69, overheat above 50". The
// least and the most heat are one range, as are the least and the most
// liters; a table of heats is named by its size, and the range it replaces
// is then left out.
[[nodiscard]] std::string rulesWords(const simulation::Rules& rules,
                                     const std::vector<std::size_t>& which);

// A rule's value as --rule takes it: numbers in the shortest text that reads
// back to them, lists as "1,2,3".
[[nodiscard]] std::string ruleArgument(const simulation::RuleValue& value);

// An environment in words: "hot air" for hot-air.
[[nodiscard]] std::string environmentWords(heat::Environment environment);

// "single" or "double".
[[nodiscard]] std::string_view heatsinkTypeName(heat::HeatsinkType type);

}  // namespace reports
