#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "batch.hpp"
#include "batch_report.hpp"
#include "progress.hpp"
#include "run_random.hpp"

namespace batch {
namespace {

TEST(RunRandom, DrawsEveryTurnEquallyOften) {
  // All 60 * 40 * 5 turns, about 100 times each: a chi-square statistic far
  // from its 11999 degrees of freedom means some turns come up too often.
  constexpr int kTurns = 12'000;
  constexpr int kDraws = 100 * kTurns;
  std::vector<int> counts(kTurns);
  RunRandom random{12345, 67};
  for (int i = 0; i < kDraws; ++i) {
    const auto draws = random.drawTurn();
    ASSERT_TRUE(draws.heat >= 0 && draws.heat < 60 && draws.liters >= 1 && draws.liters <= 40 &&
                draws.selector >= 0 && draws.selector < 5);
    const int turn = (draws.heat * 40 + draws.liters - 1) * 5 + draws.selector;
    ++counts[static_cast<std::size_t>(turn)];
  }
  double chiSquare = 0.0;
  for (const int count : counts) {
    chiSquare += (count - 100.0) * (count - 100.0) / 100.0;
  }
  EXPECT_NEAR(chiSquare, kTurns - 1, 5 * std::sqrt(2.0 * (kTurns - 1)));
  // Runs and seeds have generators of their own.
  const auto firstTurns = [](RunRandom generator) {
    return generator.drawTurn().heat * 200 + generator.drawTurn().liters;
  };
  EXPECT_NE(firstTurns(RunRandom{1, 0}), firstTurns(RunRandom{1, 1}));
  EXPECT_NE(firstTurns(RunRandom{1, 0}), firstTurns(RunRandom{2, 0}));
}

std::string summaryOf(const Settings& settings) {
  const Result result = play(settings);
  std::ostringstream out;
  printSummary(out, result);
  printJson(out, result);
  return out.str();
}

TEST(Batch, GivesTheSameSummaryForAnyNumberOfJobs) {
  Settings settings;
  settings.turns = 30;  // several blocks of runs
  settings.runs = 5'000;
  settings.seed = 99;
  const std::string oneJob = summaryOf(settings);
  settings.jobs = 3;
  EXPECT_EQ(summaryOf(settings), oneJob);
  settings.seed = 100;
  EXPECT_NE(summaryOf(settings), oneJob);
}

TEST(Batch, OfAMechThatCannotCoolAddsUpTheDrawnHeat) {
  // Without heatsinks or coolant a run's heat is the sum of its draws: after
  // two turns, the sum of two numbers from 0 to 59, above 60 for 1711 of the
  // 3600 pairs, above 100 for 171, at most 59 for 1830, at most 92 for 3249.
  Settings settings;
  settings.mech.heatsinkCount = 0;
  settings.mech.coolantLiters = 0;
  settings.turns = 2;
  settings.runs = 100'000;
  settings.jobs = 2;
  const Result result = play(settings);
  const auto share = [&](std::uint64_t count) { return static_cast<double>(count) / 1e5; };
  const double tolerance = 5 * std::sqrt(0.25 / 1e5);
  ASSERT_EQ(result.perTurn.size(), 2U);
  EXPECT_EQ(result.perTurn[0].overheated, 0U);
  EXPECT_EQ(result.perTurn[1].coolantEmpty, settings.runs);
  EXPECT_NEAR(result.perTurn[0].heatSum / 1e5, 29.5, 0.2);
  EXPECT_NEAR(result.perTurn[1].heatSum / 1e5, 59.0, 0.3);
  EXPECT_NEAR(share(result.perTurn[1].overheated), 1711 / 3600.0, tolerance);
  EXPECT_NEAR(share(result.perTurn[1].critical), 171 / 3600.0, tolerance);
  EXPECT_EQ(result.everOverheated, result.perTurn[1].overheated);
  EXPECT_EQ(result.everCritical, result.perTurn[1].critical);
  EXPECT_NEAR(result.finalHeat.percentile(0.5), 59.0, 0.1);
  EXPECT_NEAR(result.finalHeat.percentile(0.9), 92.0, 0.1);
  EXPECT_EQ(result.finalHeat.max(), 118.0);
}

TEST(BatchReport, PrintsTheSummaryAsTextAndAsJson) {
  Result result;
  result.settings.turns = 2;
  result.settings.runs = 4;
  result.settings.seed = 7;
  result.settings.mech.heatsinkCount = 1;
  result.settings.mech.heatsinkType = heat::HeatsinkType::Double;
  result.settings.mech.enterEnvironment(heat::Environment::HotAir);
  result.perTurn = {{0, 0, 0, 50.0}, {3, 1, 4, 290.0}};
  result.everOverheated = 3;
  result.everCritical = 1;
  for (const double heat : {0.0, 0.0, 80.0, 140.0}) {
    result.finalHeat.add(heat);
  }
  std::ostringstream text;
  printSummary(text, result);
  EXPECT_EQ(text.str(),
            "4 runs of 2 turns, seed 7: 1 double heatsink, 100 liters, starting in hot air\n"
            "turn  overheated  critical  tank empty  mean heat\n"
            "   1       0.0 %     0.0 %       0.0 %       12.5\n"
            "   2      75.0 %    25.0 %     100.0 %       72.5  ###############\n"
            "ever overheated 75.0 %, ever critical 25.0 %\n"
            "final heat: mean 72.5  median 0.0  90th 140.0  99th 140.0  max 140.0\n");
  std::ostringstream json;
  printJson(json, result);
  EXPECT_EQ(json.str(),
            "{\"runs\": 4, \"turns\": 2, \"seed\": 7,\n"
            " \"mech\": {\"heatsinks\": 1, \"heatsinkType\": \"double\", \"coolant\": 100, "
            "\"environment\": \"hot-air\"},\n"
            " \"perTurn\": [\n"
            "  {\"turn\": 1, \"overheated\": 0, \"critical\": 0, \"coolantEmpty\": 0, "
            "\"meanHeat\": 12.5},\n"
            "  {\"turn\": 2, \"overheated\": 0.75, \"critical\": 0.25, \"coolantEmpty\": 1, "
            "\"meanHeat\": 72.5}],\n"
            " \"everOverheated\": 0.75, \"everCritical\": 0.25,\n"
            " \"finalHeat\": {\"mean\": 72.5, \"median\": 0, \"p90\": 140, \"p99\": 140, "
            "\"max\": 140}}\n");
}

TEST(ProgressLine, RewritesOneLineAndErasesIt) {
  std::ostringstream terminal;
  {
    ProgressLine progress{terminal, 1000, std::chrono::milliseconds{0}};
    progress.show(0);
    progress.show(500);
    progress.show(0);     // a shorter line: spaces cover the rest of the longer one
    progress.show(1000);  // done: nothing more to show
  }
  const std::string text = terminal.str();
  EXPECT_TRUE(text.starts_with("\r0.0 % of 1000 runs, ")) << text;
  EXPECT_NE(text.find("\r50.0 % of 1000 runs, "), std::string::npos) << text;
  EXPECT_NE(text.find(" runs/s, about 0:00:01 left"), std::string::npos) << text;  // rounded up
  EXPECT_EQ(text.find('\n'), std::string::npos) << text;
  const auto erased = text.rfind('\r', text.size() - 2);
  const std::string erasing = text.substr(erased);  // carriage return, spaces, carriage return
  EXPECT_TRUE(erasing.ends_with('\r') && erasing.find_first_not_of(' ', 1) == erasing.size() - 1)
      << text;
}

}  // namespace
}  // namespace batch
