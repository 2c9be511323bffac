#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "parallel_batch.hpp"
#include "progress.hpp"
#include "reports/json_report.hpp"
#include "simulation/batch.hpp"
#include "simulation/sweep.hpp"

namespace {

std::string jsonOf(const simulation::BatchResult& result) {
  std::ostringstream out;
  reports::printJson(out, result);
  return out.str();
}

TEST(ParallelBatch, GivesTheSameResultForAnyNumberOfJobs) {
  // Several blocks of runs, on more threads than there are blocks too.
  simulation::BatchSettings settings;
  settings.turns = 30;
  settings.runs = 9'000;
  settings.seed = 99;
  const std::string alone = jsonOf(simulation::playBatch(settings));
  std::vector<std::uint64_t> reported;
  for (const unsigned jobs : {1U, 2U, 3U, 8U}) {
    SCOPED_TRACE(jobs);
    reported.clear();
    const auto result =
        playInParallel(settings, jobs, [&](std::uint64_t done) { reported.push_back(done); });
    EXPECT_EQ(jsonOf(result), alone);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), settings.runs);
    EXPECT_TRUE(std::ranges::is_sorted(reported));
  }
  // Runs so long that fewer blocks than threads may be under way at once: the
  // threads beyond them wait.
  const simulation::BatchSettings longRuns{{}, 500'000, 12, 5};
  const auto heatSums = [](const simulation::BatchResult& result) {
    std::vector<std::uint64_t> bits;
    for (const simulation::TurnTally& turn : result.tally.perTurn) {
      bits.push_back(std::bit_cast<std::uint64_t>(turn.heatSum));
    }
    return bits;
  };
  EXPECT_EQ(heatSums(playInParallel(longRuns, 16)), heatSums(simulation::playBatch(longRuns)));
  settings.seed = 100;
  EXPECT_NE(jsonOf(playInParallel(settings, 2)), alone);
  EXPECT_THROW(static_cast<void>(playInParallel(settings, 0)), std::invalid_argument);
}

TEST(ParallelBatch, StopsASweepAtTheSameCheckForAnyNumberOfJobs) {
  heat::MechHeatSystem doubled;
  doubled.heatsinkType = heat::HeatsinkType::Double;
  const auto jsonOfSweep = [](const simulation::SweepResult& result) {
    std::ostringstream out;
    reports::printJson(out, result);
    return out.str();
  };
  // Also when the designs are compared run by run, and the second with the
  // first is played on another thread.
  for (auto versus : {std::optional<simulation::Versus>{},
                      std::optional{simulation::Versus{"heatsink-type", "single", {0, 0}}}}) {
    const simulation::SweepSettings settings{
        {heat::MechHeatSystem{}, doubled}, 10, 400'000, 8, 0.004, std::move(versus)};
    const simulation::SweepResult alone = simulation::playSweep(settings);
    EXPECT_EQ(alone.runs, 104'848U);
    for (const unsigned jobs : {1U, 2U, 5U}) {
      SCOPED_TRACE(jobs);
      std::uint64_t reported = 0;
      const auto result = simulation::playSweep(
          settings, parallelPlayer(jobs, [&](std::uint64_t done) { reported = done; }));
      EXPECT_EQ(jsonOfSweep(result), jsonOfSweep(alone));
      EXPECT_GT(reported, 0U);
    }
  }
}

TEST(ParallelBatch, ThrowsWhatABlockThrewOnTheCallingThreadAndStartsNoBlockAfter) {
  const simulation::SweepSettings settings{{heat::MechHeatSystem{}}, 10, 300'000, 7, {}, {}};
  const simulation::BatchBlocks blocks{settings.turns, settings.runs};
  ASSERT_GT(blocks.count(), 20U);
  struct Case {
    unsigned jobs;
    std::uint64_t failing;  // the block that throws
    bool outOfMemory;       // std::bad_alloc, or else a std::runtime_error
  };
  for (const Case c : {Case{1, 0, false}, Case{2, 5, true}, Case{4, 17, false}}) {
    SCOPED_TRACE(c.jobs);
    const std::string reason =
        c.outOfMemory ? std::bad_alloc{}.what() : "block " + std::to_string(c.failing);
    std::atomic<std::uint64_t> started = 0;
    const simulation::RunPlayer playRuns = [&](const simulation::BatchSettings& batch,
                                               std::uint64_t first, std::uint64_t end,
                                               simulation::RunOutcomes* outcomes) {
      ++started;
      if (first == blocks.firstRun(c.failing)) {
        if (c.outOfMemory) {
          throw std::bad_alloc{};
        }
        throw std::runtime_error{reason};
      }
      return simulation::playRuns(batch, first, end, outcomes);
    };
    try {
      static_cast<void>(simulation::playSweep(settings, parallelPlayer(c.jobs, {}, playRuns)));
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::exception& thrown) {
      EXPECT_EQ(thrown.what(), reason);
    }
    // No more blocks than may be under way, two a thread, ahead of those added.
    EXPECT_LE(started, c.failing + std::uint64_t{2} * c.jobs);
  }
  // The same for what the progress throws on the calling thread, while each
  // thread's block waits for it, and a while longer.
  std::atomic<std::uint64_t> started = 0;
  std::atomic<bool> thrown = false;
  const simulation::RunPlayer waiting = [&](const simulation::BatchSettings& batch,
                                            std::uint64_t first, std::uint64_t end,
                                            simulation::RunOutcomes* outcomes) {
    for (++started; !thrown;) {
      std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    std::this_thread::sleep_for(std::chrono::milliseconds{100});
    return simulation::playRuns(batch, first, end, outcomes);
  };
  const Progress failing = [&](std::uint64_t) {
    thrown = true;
    throw std::runtime_error{"no progress"};
  };
  EXPECT_THROW(
      static_cast<void>(simulation::playSweep(settings, parallelPlayer(2, failing, waiting))),
      std::runtime_error);
  EXPECT_LE(started, 4U);
}

using Clock = ProgressLine::Clock;
using std::chrono::milliseconds;

TEST(ProgressLine, RewritesOneLineWithinTheTerminalAndErasesIt) {
  const Clock::time_point start{};
  const auto at = [&](int ms) { return start + milliseconds{ms}; };
  std::ostringstream terminal;
  {
    ProgressLine progress{terminal, 1000, milliseconds{1000}, start};
    progress.show(100, {false, 80}, at(500));  // too early: nothing shown
    EXPECT_EQ(terminal.str(), "");
    progress.show(200, {false, 80}, at(1000));
    progress.show(500, {false, std::nullopt}, at(2000));  // 300 runs/s since the last
    progress.show(700, {false, 12}, at(3000));            // a narrow terminal
    progress.show(900, {false, 5}, at(4000));
    progress.show(900, {false, 4}, at(4000));
    progress.show(900, {true, 80}, at(4500));  // in the background: taken off
    progress.show(950, {true, 80}, at(4600));
    progress.show(1000, {false, 80}, at(5000));  // done: nothing more to show
  }
  EXPECT_EQ(terminal.str(),
            "\r20.0 % of 1000 runs"
            "\r50.0 % of 1000 runs, 300 runs/s, about 0:00:02 left"
            "\r70.0 %     "
            "\r90 %"
            "\r90 "
            "\r   \r");
}

TEST(ProgressLine, MeasuresTheRateOverTheLastSeconds) {
  const Clock::time_point start{};
  const auto at = [&](int ms) { return start + milliseconds{ms}; };
  std::ostringstream terminal;
  ProgressLine progress{terminal, 100'000, milliseconds{0}, start};
  progress.show(1'000, {false, 200}, at(1000));
  progress.show(2'000, {false, 200}, at(2000));
  // Stopped for a minute, then going on at 1000 runs/s: the pause is soon forgotten.
  progress.show(2'000, {false, 200}, at(62000));
  progress.show(2'000, {false, 200}, at(62000));  // no runs since: no rate
  EXPECT_TRUE(terminal.str().ends_with("\r2.0 % of 100000 runs" + std::string(33, ' ')))
      << terminal.str();
  progress.show(3'000, {false, 200}, at(63000));
  const std::string text = terminal.str();
  EXPECT_TRUE(text.ends_with("3.0 % of 100000 runs, 1000 runs/s, about 0:01:37 left")) << text;
  progress.erase();
  progress.erase();  // once is enough
  EXPECT_TRUE(terminal.str().ends_with("\r" + std::string(53, ' ') + "\r")) << terminal.str();
}

}  // namespace
