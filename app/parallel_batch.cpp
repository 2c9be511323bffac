#include "parallel_batch.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// The tallies of the blocks being played or waiting to be added take at most
// about this much memory; fewer blocks are under way when runs are very long.
constexpr std::uint64_t kTallyMemory = std::uint64_t{256} << 20U;

// Hands out the blocks and adds up their tallies in block order. A worker
// that finished a block goes on with the next one; whoever finishes the
// block that is next in order adds it, and every finished block after it.
class Workers {
 public:
  Workers(const simulation::BatchSettings& settings, simulation::BatchResult& result,
          std::uint64_t inFlight)
      : settings_{settings}, blocks_{settings}, result_{result}, inFlight_{inFlight} {}

  // Plays blocks until none is left.
  void work() {
    std::unique_lock lock{mutex_};
    for (;;) {
      // A block far ahead of the next to add waits, so that the tallies
      // waiting to be added stay within their memory.
      changed_.wait(lock, [&] { return next_ >= blocks_.count() || next_ < added_ + inFlight_; });
      if (next_ >= blocks_.count()) {
        return;
      }
      const std::uint64_t block = next_++;
      lock.unlock();
      simulation::BatchTally tally =
          simulation::playRuns(settings_, blocks_.firstRun(block), blocks_.endRun(block));
      lock.lock();
      finished_.emplace(block, std::move(tally));
      for (auto first = finished_.begin(); first != finished_.end() && first->first == added_;
           first = finished_.erase(first)) {
        result_.tally.add(first->second);
        ++added_;
      }
      changed_.notify_all();
    }
  }

  // Waits up to `limit` for all blocks to be added; the runs added so far.
  std::uint64_t waitForRuns(std::chrono::milliseconds limit) {
    std::unique_lock lock{mutex_};
    changed_.wait_for(lock, limit, [&] { return added_ == blocks_.count(); });
    return result_.tally.runs;
  }

 private:
  const simulation::BatchSettings& settings_;
  const simulation::BatchBlocks blocks_;
  simulation::BatchResult& result_;
  const std::uint64_t inFlight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t next_ = 0;   // the next block to play
  std::uint64_t added_ = 0;  // blocks added to the result, all before any other
  std::map<std::uint64_t, simulation::BatchTally> finished_;  // played, not yet added
};

}  // namespace

simulation::BatchResult playInParallel(const simulation::BatchSettings& settings, unsigned jobs,
                                       const Progress& progress) {
  simulation::checkBatchSettings(settings);
  if (jobs == 0) {
    throw std::invalid_argument{"batch settings: jobs must be at least 1"};
  }
  simulation::BatchResult result{settings, {}};
  const std::uint64_t tallyBytes =
      sizeof(simulation::TurnTally) * static_cast<std::uint64_t>(settings.turns);
  const std::uint64_t inFlight =
      std::clamp<std::uint64_t>(kTallyMemory / tallyBytes, 1, std::uint64_t{2} * jobs);
  Workers workers{settings, result, inFlight};
  // A thread that finds no block left ends at once.
  const auto threads = static_cast<std::size_t>(std::min<std::uint64_t>(jobs, inFlight));
  {
    std::vector<std::jthread> running;
    running.reserve(threads);
    for (std::size_t thread = 0; thread < threads; ++thread) {
      running.emplace_back([&workers] { workers.work(); });
    }
    constexpr std::chrono::milliseconds kProgressInterval{200};
    for (std::uint64_t done = 0; done < settings.runs;) {
      done = workers.waitForRuns(kProgressInterval);
      if (progress) {
        progress(done);
      }
    }
  }
  return result;
}
