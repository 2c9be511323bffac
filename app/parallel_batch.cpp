#include "parallel_batch.hpp"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

// One group's runs of one block (simulation::designGroups): items are
// numbered block by block, the groups of a block in their order, and added
// in that order, so that each design's blocks are added in block order.
class Items {
 public:
  Items(const simulation::SweepSettings& settings, std::uint64_t firstBlock, std::uint64_t endBlock,
        std::vector<simulation::BatchTally>& tallies, std::uint64_t inFlight,
        const simulation::RunPlayer& playRuns)
      : settings_{settings},
        blocks_{settings.turns, settings.runs},
        firstBlock_{firstBlock},
        groups_{simulation::designGroups(settings)},
        count_{(endBlock - firstBlock) * groups_.size()},
        tallies_{tallies},
        inFlight_{inFlight},
        playRuns_{playRuns} {}

  // Plays items until none is left. A worker that finished an item goes on
  // with the next one; whoever finishes the item that is next in order adds
  // it, and every finished item after it. What throws (playing an item, or
  // adding one, out of memory) ends the work of all: no item is started after.
  void work() {
    try {
      playItems();
    } catch (...) {
      const std::scoped_lock lock{mutex_};
      failure_ = std::current_exception();  // the last, if several threw
      startNoMore();
    }
  }

  // No item is started after those under way.
  void stop() {
    const std::scoped_lock lock{mutex_};
    startNoMore();
  }

  // Waits up to `limit` for all items to be added, or one to throw; the runs
  // added so far, and whether the work is over.
  std::pair<std::uint64_t, bool> waitForRuns(std::chrono::milliseconds limit) {
    std::unique_lock lock{mutex_};
    const auto over = [&] { return added_ == count_ || failure_; };
    changed_.wait_for(lock, limit, over);
    return {runsAdded_, over()};
  }

  // Throws again what an item threw, once no thread works any more.
  void rethrowFailure() const {
    if (failure_) {
      std::rethrow_exception(failure_);
    }
  }

 private:
  void startNoMore() {
    next_ = count_;
    changed_.notify_all();
  }

  void playItems() {
    std::unique_lock lock{mutex_};
    for (;;) {
      // An item far ahead of the next to add waits, so that the tallies
      // waiting to be added stay within their memory.
      changed_.wait(lock, [&] { return next_ >= count_ || next_ < added_ + inFlight_; });
      if (next_ >= count_) {
        return;
      }
      const std::uint64_t item = next_++;
      lock.unlock();
      std::vector<simulation::BatchTally> played = play(item);
      lock.lock();
      finished_.emplace(item, std::move(played));
      for (auto first = finished_.begin(); first != finished_.end() && first->first == added_;
           first = finished_.erase(first)) {
        for (const simulation::BatchTally& tally : first->second) {
          runsAdded_ += tally.runs;
        }
        simulation::addGroup(tallies_, groupOf(added_), first->second);
        ++added_;
      }
      changed_.notify_all();
    }
  }

  [[nodiscard]] const std::vector<std::size_t>& groupOf(std::uint64_t item) const {
    return groups_[static_cast<std::size_t>(item % groups_.size())];
  }

  [[nodiscard]] std::vector<simulation::BatchTally> play(std::uint64_t item) const {
    const std::uint64_t block = firstBlock_ + item / groups_.size();
    return simulation::playGroup(settings_, groupOf(item), blocks_.firstRun(block),
                                 blocks_.endRun(block), playRuns_);
  }

  const simulation::SweepSettings& settings_;
  const simulation::BatchBlocks blocks_;
  const std::uint64_t firstBlock_;
  const std::vector<std::vector<std::size_t>> groups_;
  const std::uint64_t count_;
  std::vector<simulation::BatchTally>& tallies_;
  const std::uint64_t inFlight_;
  const simulation::RunPlayer& playRuns_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t next_ = 0;   // the next item to play
  std::uint64_t added_ = 0;  // items added to the tallies, all before any other
  std::uint64_t runsAdded_ = 0;
  std::map<std::uint64_t, std::vector<simulation::BatchTally>> finished_;  // played, not added
  std::exception_ptr failure_;
};

void playOnThreads(const simulation::SweepSettings& settings, std::uint64_t firstBlock,
                   std::uint64_t endBlock, std::vector<simulation::BatchTally>& tallies,
                   unsigned jobs, const Progress& progress, const simulation::RunPlayer& playRuns) {
  Items items{settings, firstBlock, endBlock, tallies, simulation::groupsInFlight(settings, jobs),
              playRuns};
  {
    // A thread that finds no item left ends at once; threads beyond the items
    // that may be under way wait for their turn.
    std::vector<std::jthread> running;
    running.reserve(jobs);
    try {
      for (unsigned thread = 0; thread < jobs; ++thread) {
        running.emplace_back([&items] { items.work(); });
      }
      constexpr std::chrono::milliseconds kProgressInterval{200};
      for (bool over = false; !over;) {
        const auto [done, allOver] = items.waitForRuns(kProgressInterval);
        over = allOver;
        if (progress) {
          progress(done);
        }
      }
    } catch (...) {
      // No thread could be started, or the progress threw: the threads that
      // run end soon, and are joined before it is thrown on.
      items.stop();
      throw;
    }
  }  // every thread has ended
  items.rethrowFailure();
}

}  // namespace

simulation::BlockPlayer parallelPlayer(unsigned jobs, Progress progress,
                                       simulation::RunPlayer playRuns) {
  if (jobs == 0) {
    throw std::invalid_argument{"jobs must be at least 1"};
  }
  return [jobs, progress = std::move(progress), playRuns = std::move(playRuns)](
             const simulation::SweepSettings& settings, std::uint64_t firstBlock,
             std::uint64_t endBlock, std::vector<simulation::BatchTally>& tallies) {
    playOnThreads(settings, firstBlock, endBlock, tallies, jobs, progress, playRuns);
  };
}

simulation::BatchResult playInParallel(const simulation::BatchSettings& settings, unsigned jobs,
                                       const Progress& progress) {
  const simulation::SweepSettings sweep{
      // GCOVR_EXCL_BR_START: the clean-up of the design's copy, were it to throw
      {{settings.mech, settings.rules}}, settings.turns, settings.runs, settings.seed, {}, {}};
  // GCOVR_EXCL_BR_STOP
  return std::move(simulation::playSweep(sweep, parallelPlayer(jobs, progress)).designs.front());
}
