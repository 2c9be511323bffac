#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "reports/json_report.hpp"
#include "reports/summary.hpp"
#include "reports/text_report.hpp"
#include "simulation/batch.hpp"

namespace reports {
namespace {

// A batch of three runs over two turns whose every number is known: one run
// overheated in the first turn and cooled down in the second, so that ever
// overheated is not the last turn's share; final heats 0, 90 and 99.
simulation::BatchResult smallBatch() {
  simulation::BatchResult result;
  result.settings.turns = 2;
  result.settings.runs = 3;
  result.settings.seed = 7;
  result.settings.mech.heatsinkCount = 1;
  result.settings.mech.heatsinkType = heat::HeatsinkType::Double;
  result.settings.mech.setEnvironmentSilently(heat::Environment::HotAir);
  simulation::BatchTally& tally = result.tally;
  tally.runs = 3;
  tally.perTurn = {{1, 0, 0, 70.0}, {2, 1, 3, 189.0}};
  tally.everOverheated = 3;
  tally.everCritical = 2;
  for (const double heat : {0.0, 90.0, 99.0}) {
    tally.finalHeat.add(heat);
  }
  tally.hottest = {2, 99.0};
  return result;
}

TEST(BatchReport, PrintsTheSummaryAsTextAndAsJson) {
  std::ostringstream text;
  text << std::scientific;  // the report keeps to its own formatting
  printText(text, smallBatch());
  EXPECT_EQ(text.str(),
            "3 runs of 2 turns, seed 7: 1 double heatsink, 100 liters, starting in hot air\n"
            "turn  overheated  critical  tank empty  mean heat\n"
            "   1      33.3 %     0.0 %       0.0 %       23.3  #######\n"
            "   2      66.7 %    33.3 %     100.0 %       63.0  #############\n"
            "ever overheated 100.0 %, ever critical 66.7 %\n"
            "final heat: mean 63.0  median 90.0  90th 99.0  99th 99.0  max 99.0\n"
            "hottest run: 2, final heat 99.0 (mech-heat --seed 7 --run 2 --turns 2 --heatsinks 1 "
            "--double "
            "--environment hot-air)\n");
  std::ostringstream json;
  printJson(json, smallBatch());
  EXPECT_EQ(json.str(),
            "{\"runs\": 3, \"turns\": 2, \"seed\": 7,\n"
            " \"mech\": {\"heatsinks\": 1, \"heatsinkType\": \"double\", \"coolant\": 100, "
            "\"environment\": \"hot-air\"},\n"
            " \"perTurn\": [\n"
            "  {\"turn\": 1, \"overheated\": 0.3333333333333333, \"critical\": 0, "
            "\"coolantEmpty\": 0, \"meanHeat\": 23.333333333333332},\n"
            "  {\"turn\": 2, \"overheated\": 0.6666666666666666, \"critical\": 0.3333333333333333, "
            "\"coolantEmpty\": 1, \"meanHeat\": 63}],\n"
            " \"everOverheated\": 1, \"everCritical\": 0.6666666666666666,\n"
            " \"finalHeat\": {\"mean\": 63, \"median\": 90.03125, \"p90\": 99, \"p99\": 99, "
            "\"max\": 99},\n"
            " \"hottestRun\": {\"run\": 2, \"finalHeat\": 99}}\n");
}

TEST(BatchReport, NamesTheDistinctPercentiles) {
  // A hundred runs ending at 1 to 100: the 90th and the 99th differ.
  simulation::BatchResult result;
  result.settings.runs = 100;
  result.settings.turns = 1;
  result.tally.runs = 100;
  result.tally.perTurn.resize(1);
  for (int heat = 1; heat <= 100; ++heat) {
    result.tally.finalHeat.add(heat);
  }
  const Summary summary = summarize(result);
  EXPECT_NEAR(summary.finalHeat.median, 50.0, 0.1);
  EXPECT_NEAR(summary.finalHeat.p90, 90.0, 0.1);
  EXPECT_NEAR(summary.finalHeat.p99, 99.0, 0.1);
  EXPECT_EQ(summary.finalHeat.max, 100.0);
}

TEST(BatchReport, ShowsEvenlySpacedTurnsEndingWithTheLast) {
  struct Case {
    int turns;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {1, {1}},
      {5, {1, 2, 3, 4, 5}},
      {20, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
      {30, {2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 23, 24, 26, 27, 29, 30}},
      {1'000'000, {50'000,  100'000, 150'000, 200'000, 250'000, 300'000,  350'000,
                   400'000, 450'000, 500'000, 550'000, 600'000, 650'000,  700'000,
                   750'000, 800'000, 850'000, 900'000, 950'000, 1'000'000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.turns);
    EXPECT_EQ(shownTurns(c.turns, 20), c.shown);
  }
}

TEST(BatchReport, WritesNumbersThatReadBackExactly) {
  const double values[] = {1.0 / 3.0, 0.1, 1e-7, 123456789.125, 0.0, 505.9000000000001};
  for (const double value : values) {
    const std::string text = exactNumber(value);
    EXPECT_EQ(std::stod(text), value) << text;
  }
  EXPECT_EQ(exactNumber(0.0), "0");
}

TEST(BatchReport, ReplaysTheHottestRunWithTheBatchsOwnOptions) {
  simulation::BatchSettings settings;
  settings.seed = 42;
  EXPECT_EQ(replayCommand(settings, 9), "mech-heat --seed 42 --run 9");
  settings.turns = 12;
  settings.mech.coolantLiters = 0;
  settings.mech.setEnvironmentSilently(heat::Environment::Space);
  EXPECT_EQ(replayCommand(settings, 81713),
            "mech-heat --seed 42 --run 81713 --turns 12 --coolant 0 --environment space");
}

}  // namespace
}  // namespace reports
