#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "simulation/heat_histogram.hpp"
#include "simulation/rules.hpp"
#include "simulation/turn.hpp"

// Many silent runs of one mech, and what they have in common. Run i of a
// batch draws its turns from a generator of its own, derived from the
// batch's seed and i, so that any run can be replayed alone and its draws do
// not depend on which thread plays it or in what order.
namespace simulation {

// The most turns whose heat levels a batch keeps a histogram of.
inline constexpr int kMaxChartedTurns = 1'000;

struct BatchSettings {
  heat::MechHeatSystem mech;  // the starting mech of every run
  int turns = kDefaultTurnCount;
  std::uint64_t runs = 1;
  std::uint32_t seed = 0;
  int mostChartedTurns = kMaxChartedTurns;  // of chartedTurns(), from 1 to kMaxChartedTurns
  Rules rules{};                            // the game's own unless told otherwise
};

// Throws std::invalid_argument naming the field when the settings describe
// no batch: no runs, no turns, negative heatsinks or coolant, charted turns
// outside their range, or rules outside their bounds.
void checkBatchSettings(const BatchSettings& settings);

// How many runs were in each state right after one turn's cooling update.
struct TurnTally {
  std::uint64_t overheated = 0;
  std::uint64_t critical = 0;        // the critical-temperature flag, which may outlast the heat
  std::uint64_t coolantEmpty = 0;    // no liter left in the tank
  std::uint64_t everOverheated = 0;  // overheated after this turn or an earlier one
  std::uint64_t everCritical = 0;    // critical after this turn or an earlier one
  double heatSum = 0.0;              // of the heat levels
  double heatSquares = 0.0;          // of the squares of the heat levels
};

// The run with the highest final heat, the lowest index among equals.
struct HottestRun {
  std::uint64_t run = 0;
  double finalHeat = -1.0;  // below every heat level while no run is counted
};

// `count` evenly spaced turns of `turns`, the last among them; every turn
// when there are no more than `count`. From 1.
[[nodiscard]] std::vector<int> evenlySpacedTurns(int turns, int count);

// The turns whose heat levels a batch keeps a histogram of.
[[nodiscard]] inline std::vector<int> chartedTurns(const BatchSettings& settings) {
  return evenlySpacedTurns(settings.turns, settings.mostChartedTurns);
}
[[nodiscard]] inline std::vector<int> chartedTurns(int turns) {
  return evenlySpacedTurns(turns, kMaxChartedTurns);
}

// What two designs' same runs are compared by: each run's final heat and
// whether it ended with each of the flags of Outcome.
enum class Outcome : std::uint8_t { EverOverheated, EverCritical, Overheated };
inline constexpr std::size_t kOutcomeCount = 3;

[[nodiscard]] constexpr std::uint8_t outcomeBit(Outcome outcome) {
  return static_cast<std::uint8_t>(1U << static_cast<unsigned>(outcome));
}

// The outcomes of a range of runs, in run order from its first run.
struct RunOutcomes {
  std::vector<std::uint8_t> flags;  // of outcomeBit()s
  std::vector<double> finalHeat;
};

// What the runs of one design had in common with the same runs of another,
// its baseline: for each Outcome, the runs where only this design had it and
// those where only the baseline had it; and the sums of the differences of
// final heat, this design's less the baseline's.
struct PairedTally {
  std::uint64_t runs = 0;
  std::array<std::uint64_t, kOutcomeCount> onlyThis{};
  std::array<std::uint64_t, kOutcomeCount> onlyBaseline{};
  double differenceSum = 0.0;
  double differenceSquares = 0.0;

  // Adds the tally of the runs that follow, as BatchTally::add does.
  void add(const PairedTally& next);
};

// The runs of `design` paired with the same runs of `baseline`, in run order.
[[nodiscard]] PairedTally pairRuns(const RunOutcomes& design, const RunOutcomes& baseline);

// What a range of runs had in common. The runs ever overheated or critical
// are those of the last turn's tally.
struct BatchTally {
  std::uint64_t runs = 0;
  std::vector<TurnTally> perTurn;           // one for each turn
  std::vector<TurnHeatHistogram> turnHeat;  // one for each of chartedTurns()
  HeatHistogram finalHeat;
  HottestRun hottest;
  // Runs whose heatsinks had lost more than their whole capacity by the last
  // turn, so that they then heated the mech instead of cooling it.
  std::uint64_t damagedOut = 0;
  // In a sweep that compares designs: what the runs had in common with the
  // same runs of the design's baseline; of no runs otherwise.
  PairedTally versus;

  // Adds the tally of the runs that follow this one's. The sums of heat are
  // floating-point: adding the same tallies in the same order gives the same
  // bits.
  void add(const BatchTally& next);
};

// The engines that play a batch: the scalar one, a run after another, and
// vector engines for ever wider x86 vectors and for WebAssembly's, several
// runs side by side. All give the same tallies, bit for bit.
enum class Engine { Scalar, Sse4, Avx2, Avx512, Simd128 };
inline constexpr std::array<std::string_view, 5> kEngineNames{"scalar", "sse4", "avx2", "avx512",
                                                              "simd128"};

// Whether this build has `engine` and this processor can run it.
[[nodiscard]] bool engineAvailable(Engine engine);

// The engine named by the environment variable MECH_HEAT_ENGINE, or the
// last available one in the order of Engine (the widest) when it is unset or empty. Throws
// std::invalid_argument when it names no available engine.
[[nodiscard]] Engine selectedEngine();

// Plays runs [first, end) of a batch on the calling thread, with the
// selected engine, or with `engine`, which must be available; and, given
// `outcomes`, leaves each run's outcome there.
[[nodiscard]] BatchTally playRuns(const BatchSettings& settings, std::uint64_t first,
                                  std::uint64_t end, RunOutcomes* outcomes = nullptr);
[[nodiscard]] BatchTally playRuns(const BatchSettings& settings, std::uint64_t first,
                                  std::uint64_t end, Engine engine,
                                  RunOutcomes* outcomes = nullptr);

// A batch's runs in blocks of about the same number of turns. A block's size
// depends only on the number of turns; adding the blocks' tallies in block
// order gives the same result, bit for bit, however they were played.
class BatchBlocks {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an int and a count of runs
  BatchBlocks(int turns, std::uint64_t runs);

  [[nodiscard]] std::uint64_t count() const { return count_; }
  [[nodiscard]] std::uint64_t firstRun(std::uint64_t block) const { return block * runsPerBlock_; }
  [[nodiscard]] std::uint64_t endRun(std::uint64_t block) const;
  // The blocks that hold the first `runs` runs.
  [[nodiscard]] std::uint64_t blocksFor(std::uint64_t runs) const;
  [[nodiscard]] std::uint64_t runsPerBlock() const { return runsPerBlock_; }

 private:
  std::uint64_t runs_;
  std::uint64_t runsPerBlock_;
  std::uint64_t count_;
};

// The most memory, in bytes, that the batch's tally, the sum of its blocks'
// tallies, can take: its counts of every turn, and its histograms, each as if
// it held the highest heat that the runs can reach by its turn.
[[nodiscard]] std::uint64_t tallyMemory(const BatchSettings& settings);

struct BatchResult {
  BatchSettings settings;
  BatchTally tally;
};

// Plays the whole batch on the calling thread, block by block, as a sweep
// plays each of its designs. Checks the settings first.
[[nodiscard]] BatchResult playBatch(const BatchSettings& settings);

}  // namespace simulation
