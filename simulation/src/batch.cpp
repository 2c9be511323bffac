#include "simulation/batch.hpp"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

#include "simulation/run_random.hpp"
#include "simulation/sweep.hpp"

namespace simulation {
namespace {

// Runs are played in blocks of about this many turns.
constexpr std::uint64_t kTurnsPerBlock = 1U << 16U;

// Flattened: every step of a turn inlined into the loop over the turns.
[[gnu::flatten]] void playRun(const BatchSettings& settings, std::uint64_t index,
                              BatchTally& tally) {
  heat::MechHeatSystem mech = settings.mech;
  const SilentEvents events{mech};
  RunRandom random{settings.seed, index};
  // Without branches: a flag is 0 or 1.
  unsigned everOverheated = 0;
  unsigned everCritical = 0;
  for (TurnTally& turn : tally.perTurn) {
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
  }
  tally.finalHeat.add(mech.totalHeat);
  if (mech.totalHeat > tally.hottest.finalHeat) {
    tally.hottest = HottestRun{index, mech.totalHeat};
  }
  ++tally.runs;
}

void require(bool holds, const char* field, const char* what) {
  if (!holds) {
    throw std::invalid_argument{std::string{"batch settings: "} + field + " " + what};
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
  runs += next.runs;
  finalHeat.merge(next.finalHeat);
  // Among equal heats the earlier run stays.
  if (next.hottest.finalHeat > hottest.finalHeat) {
    hottest = next.hottest;
  }
}

BatchTally playRuns(const BatchSettings& settings, std::uint64_t first, std::uint64_t end) {
  BatchTally tally;
  tally.perTurn.resize(static_cast<std::size_t>(settings.turns));
  for (std::uint64_t run = first; run < end; ++run) {
    playRun(settings, run, tally);
  }
  return tally;
}

BatchBlocks::BatchBlocks(int turns, std::uint64_t runs)
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
