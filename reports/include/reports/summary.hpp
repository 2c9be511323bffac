#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "simulation/batch.hpp"

// What a batch's reports say, worked out once from its tally, so that every
// format prints the same numbers.
namespace reports {

struct TurnSummary {
  int turn;           // from 1
  double overheated;  // shares of the runs, 0 to 1
  double critical;    // the critical-temperature flag
  double coolantEmpty;
  double meanHeat;
};

struct FinalHeat {
  double mean, median, p90, p99, max;
};

struct Summary {
  simulation::BatchSettings settings;
  std::vector<TurnSummary> perTurn;
  double everOverheated;
  double everCritical;
  FinalHeat finalHeat;
  simulation::HottestRun hottest;
};

[[nodiscard]] Summary summarize(const simulation::BatchResult& result);

// The turns a table of at most `rows` rows shows: every turn up to that many,
// beyond them evenly spaced turns, the last among them. From 1.
[[nodiscard]] std::vector<int> shownTurns(int turns, int rows);

// The command line that narrates run `run` of the batch.
[[nodiscard]] std::string replayCommand(const simulation::BatchSettings& settings,
                                        std::uint64_t run);

// "single" or "double".
[[nodiscard]] std::string_view heatsinkTypeName(heat::HeatsinkType type);

}  // namespace reports
