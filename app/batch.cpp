#include "batch.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "run_random.hpp"
#include "turn.hpp"

namespace batch {
namespace {

// Runs are played in blocks of about this many turns. A block's size depends
// only on the number of turns, and blocks are added up in their order, so
// that the floating-point sums do not depend on how many threads there are.
constexpr std::uint64_t kTurnsPerBlock = 1U << 16U;

// The per-turn tallies of the blocks being played take at most about this
// much memory; fewer threads play at once when runs are very long.
constexpr std::uint64_t kTallyMemory = std::uint64_t{256} << 20U;

struct Block {
  std::vector<TurnTally> perTurn;
  std::uint64_t everOverheated = 0;
  std::uint64_t everCritical = 0;
};

// Flattened: every step of a turn inlined into the loop over the turns.
[[gnu::flatten]] void playRun(const Settings& settings, std::uint64_t index, Block& block,
                              HeatHistogram& finalHeat) {
  heat::MechHeatSystem mech = settings.mech;
  const simulation::SilentEvents events{mech};
  RunRandom random{settings.seed, index};
  // Without branches: a flag is 0 or 1.
  unsigned everOverheated = 0;
  unsigned everCritical = 0;
  for (TurnTally& tally : block.perTurn) {
    simulation::playTurn(events, random.drawTurn());
    tally.overheated += static_cast<unsigned>(mech.overheated);
    tally.critical += static_cast<unsigned>(mech.criticalTemperature);
    tally.coolantEmpty += static_cast<unsigned>(mech.coolantLiters == 0);
    tally.heatSum += mech.totalHeat;
    everOverheated |= static_cast<unsigned>(mech.overheated);
    everCritical |= static_cast<unsigned>(mech.criticalTemperature);
  }
  block.everOverheated += everOverheated;
  block.everCritical += everCritical;
  finalHeat.add(mech.totalHeat);
}

// Hands out the blocks and adds up their tallies in block order.
class Blocks {
 public:
  Blocks(const Settings& settings, Result& result)
      : settings_{settings},
        result_{result},
        runsPerBlock_{std::max<std::uint64_t>(
            1, kTurnsPerBlock / static_cast<std::uint64_t>(settings.turns))},
        count_{(settings.runs + runsPerBlock_ - 1) / runsPerBlock_} {}

  [[nodiscard]] std::uint64_t count() const { return count_; }

  // Plays blocks until none is left.
  void work() {
    HeatHistogram finalHeat;  // of this thread's runs, apart from the others'

    Block block{std::vector<TurnTally>(static_cast<std::size_t>(settings_.turns)), 0, 0};
    for (std::uint64_t index = next_++; index < count_; index = next_++) {
      std::ranges::fill(block.perTurn, TurnTally{});
      block.everOverheated = 0;
      block.everCritical = 0;
      const std::uint64_t first = index * runsPerBlock_;
      const std::uint64_t end = std::min(first + runsPerBlock_, settings_.runs);
      for (std::uint64_t run = first; run < end; ++run) {
        playRun(settings_, run, block, finalHeat);
      }
      addInOrder(index, block, end - first);
    }
    const std::scoped_lock lock{mutex_};
    result_.finalHeat.merge(finalHeat);
  }

  // Waits up to `limit` for all blocks to be added; the runs added so far.
  std::uint64_t waitForRuns(std::chrono::milliseconds limit) {
    std::unique_lock lock{mutex_};
    added_.wait_for(lock, limit, [&] { return blocksAdded_ == count_; });
    return runsAdded_;
  }

 private:
  void addInOrder(std::uint64_t index, const Block& block, std::uint64_t runs) {
    std::unique_lock lock{mutex_};
    added_.wait(lock, [&] { return blocksAdded_ == index; });
    for (std::size_t turn = 0; turn < block.perTurn.size(); ++turn) {
      TurnTally& total = result_.perTurn[turn];
      const TurnTally& part = block.perTurn[turn];
      total.overheated += part.overheated;
      total.critical += part.critical;
      total.coolantEmpty += part.coolantEmpty;
      total.heatSum += part.heatSum;
    }
    result_.everOverheated += block.everOverheated;
    result_.everCritical += block.everCritical;
    ++blocksAdded_;
    runsAdded_ += runs;
    lock.unlock();
    added_.notify_all();
  }

  const Settings& settings_;
  Result& result_;
  const std::uint64_t runsPerBlock_;
  const std::uint64_t count_;
  std::atomic<std::uint64_t> next_ = 0;
  std::mutex mutex_;
  std::condition_variable added_;
  std::uint64_t blocksAdded_ = 0;
  std::uint64_t runsAdded_ = 0;
};

}  // namespace

Result play(const Settings& settings, const Progress& progress) {
  Result result{
      settings, std::vector<TurnTally>(static_cast<std::size_t>(settings.turns)), 0, 0, {}};
  Blocks blocks{settings, result};
  const std::uint64_t tallyBytes = sizeof(TurnTally) * static_cast<std::uint64_t>(settings.turns);
  const auto workers = static_cast<std::size_t>(std::clamp<std::uint64_t>(
      std::min<std::uint64_t>(settings.jobs, kTallyMemory / tallyBytes), 1, blocks.count()));
  {
    std::vector<std::jthread> threads;
    threads.reserve(workers);
    for (std::size_t worker = 0; worker < workers; ++worker) {
      threads.emplace_back([&blocks] { blocks.work(); });
    }
    constexpr std::chrono::milliseconds kProgressInterval{200};
    for (std::uint64_t done = 0; done < settings.runs;) {
      done = blocks.waitForRuns(kProgressInterval);
      if (progress) {
        progress(done);
      }
    }
  }
  return result;
}

}  // namespace batch
