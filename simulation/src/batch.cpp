#include "simulation/batch.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "simulation/refuse.hpp"
#include "simulation/run_random.hpp"
#include "simulation/sweep.hpp"

namespace simulation {
namespace {

// Runs are played in blocks of about this many turns.
constexpr std::uint64_t kTurnsPerBlock = 1U << 16U;

// Flattened: every step of a turn inlined into the loop over the turns.
// `charted` holds, for every turn, its index among the charted turns, or -1.
[[gnu::flatten]] void playRun(const BatchSettings& settings, std::uint64_t index,
                              const std::vector<int>& charted, BatchTally& tally) {
  heat::MechHeatSystem mech = settings.mech;
  const SilentEvents events{mech};
  RunRandom random{settings.seed, index};
  // Without branches: a flag is 0 or 1.
  unsigned everOverheated = 0;
  unsigned everCritical = 0;
  for (std::size_t turnIndex = 0; turnIndex < tally.perTurn.size(); ++turnIndex) {
    TurnTally& turn = tally.perTurn[turnIndex];
    playTurn(events, random.drawTurn());
    everOverheated |= static_cast<unsigned>(mech.overheated);
    everCritical |= static_cast<unsigned>(mech.criticalTemperature);
    turn.overheated += static_cast<unsigned>(mech.overheated);
    turn.critical += static_cast<unsigned>(mech.criticalTemperature);
    turn.coolantEmpty += static_cast<unsigned>(mech.coolantLiters == 0);
    turn.everOverheated += everOverheated;
    turn.everCritical += everCritical;
    turn.heatSum += mech.totalHeat;
    turn.heatSquares += mech.totalHeat * mech.totalHeat;
    if (const int chart = charted[turnIndex]; chart >= 0) {
      tally.turnHeat[static_cast<std::size_t>(chart)].add(mech.totalHeat);
    }
  }
  tally.finalHeat.add(mech.totalHeat);
  if (mech.totalHeat > tally.hottest.finalHeat) {
    tally.hottest = HottestRun{index, mech.totalHeat};
  }
  ++tally.runs;
}

void require(bool holds, const char* field, const char* what) {
  if (!holds) {
    refuse(std::string{"batch settings: "} + field + " " + what);
  }
}

}  // namespace

void checkBatchSettings(const BatchSettings& settings) {
  require(settings.runs > 0, "runs", "must be at least 1");
  require(settings.turns > 0, "turns", "must be at least 1");
  require(settings.mech.heatsinkCount >= 0, "heatsinkCount", "must not be negative");
  require(settings.mech.coolantLiters >= 0, "coolantLiters", "must not be negative");
}

void BatchTally::add(const BatchTally& next) {
  if (perTurn.empty()) {
    perTurn.resize(next.perTurn.size());
  }
  for (std::size_t turn = 0; turn < next.perTurn.size(); ++turn) {
    TurnTally& total = perTurn[turn];
    const TurnTally& part = next.perTurn[turn];
    total.overheated += part.overheated;
    total.critical += part.critical;
    total.coolantEmpty += part.coolantEmpty;
    total.everOverheated += part.everOverheated;
    total.everCritical += part.everCritical;
    total.heatSum += part.heatSum;
    total.heatSquares += part.heatSquares;
  }
  if (turnHeat.empty()) {
    turnHeat.resize(next.turnHeat.size());
  }
  for (std::size_t chart = 0; chart < next.turnHeat.size(); ++chart) {
    turnHeat[chart].merge(next.turnHeat[chart]);
  }
  runs += next.runs;
  finalHeat.merge(next.finalHeat);
  // Among equal heats the earlier run stays.
  if (next.hottest.finalHeat > hottest.finalHeat) {
    hottest = next.hottest;
  }
}

std::vector<int> evenlySpacedTurns(int turns, int count) {
  const int shown = std::min(turns, count);
  std::vector<int> chosen;
  chosen.reserve(static_cast<std::size_t>(shown));
  for (int row = 1; row <= shown; ++row) {
    chosen.push_back(
        static_cast<int>((static_cast<std::int64_t>(row) * turns + shown - 1) / shown));
  }
  return chosen;
}

BatchTally playRuns(const BatchSettings& settings, std::uint64_t first, std::uint64_t end) {
  BatchTally tally;
  const auto turns = static_cast<std::size_t>(settings.turns);
  tally.perTurn.resize(turns);
  std::vector<int> charted(turns, -1);
  const std::vector<int> chartedTurnNumbers = chartedTurns(settings.turns);
  for (std::size_t chart = 0; chart < chartedTurnNumbers.size(); ++chart) {
    charted[static_cast<std::size_t>(chartedTurnNumbers[chart] - 1)] = static_cast<int>(chart);
  }
  tally.turnHeat.resize(chartedTurnNumbers.size());
  for (std::uint64_t run = first; run < end; ++run) {
    playRun(settings, run, charted, tally);
  }
  return tally;
}

BatchBlocks::BatchBlocks(int turns,
                         std::uint64_t runs)  // NOLINT(bugprone-easily-swappable-parameters)
    : runs_{runs},
      runsPerBlock_{std::max<std::uint64_t>(
          1, kTurnsPerBlock / static_cast<std::uint64_t>(std::max(turns, 1)))},
      count_{blocksFor(runs)} {}

std::uint64_t BatchBlocks::endRun(std::uint64_t block) const {
  return std::min(firstRun(block) + runsPerBlock_, runs_);
}

std::uint64_t BatchBlocks::blocksFor(std::uint64_t runs) const {
  return (runs + runsPerBlock_ - 1) / runsPerBlock_;
}

BatchResult playBatch(const BatchSettings& settings) {
  SweepSettings sweep{{settings.mech}, settings.turns, settings.runs, settings.seed, {}};
  return std::move(playSweep(sweep).designs.front());
}

}  // namespace simulation
