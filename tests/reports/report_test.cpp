#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "reports/csv_report.hpp"
#include "reports/json_report.hpp"
#include "reports/summary.hpp"
#include "reports/svg_report.hpp"
#include "reports/text_report.hpp"
#include "simulation/batch.hpp"
#include "simulation/sweep.hpp"
#include "table.hpp"

namespace reports {
namespace {

// A batch of three runs over two turns whose every number is known: heats
// (70, 0), (0, 90) and (0, 99); one run overheated in the first turn and
// cooled down in the second, so that ever overheated is not the last turn's
// share.
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
  tally.perTurn = {{1, 0, 0, 1, 0, 70.0, 4'900.0}, {2, 1, 3, 3, 1, 189.0, 17'901.0}};
  for (const double heat : {0.0, 90.0, 99.0}) {
    tally.finalHeat.add(heat);
  }
  tally.hottest = {2, 99.0};
  tally.damagedOut = 1;
  return result;
}

TEST(BatchReport, PrintsTheSummaryAsTextAndAsJson) {
  std::ostringstream text;
  text << std::scientific;  // the report keeps to its own formatting
  printText(text, smallBatch());
  EXPECT_EQ(
      text.str(),
      "3 runs of 2 turns, seed 7: 1 double heatsink, 100 liters, starting in hot air\n"
      "turn    overheated      critical     tank empty  ever overheated   mean heat\n"
      "   1  33.3 % ±45.9   0.0 % ±56.1    0.0 % ±56.1     33.3 % ±45.9  23.3 ±45.7  #######\n"
      "   2  66.7 % ±45.9  33.3 % ±45.9  100.0 % ±56.1    100.0 % ±56.1  63.0 ±61.9  "
      "#############\n"
      "ever overheated 100.0 % ±56.1, ever critical 33.3 % ±45.9\n"
      "heatsinks past 100 % damage at the end: 33.3 % ±45.9 of runs; such heatsinks heat the mech\n"
      "final heat: mean 63.0  median 90.0  90th 99.0  99th 99.0  max 99.0\n"
      "hottest run: 2, final heat 99.0 (mech-heat --seed 7 --run 2 --turns 2 --heatsinks 1 "
      "--heatsink-type double --environment hot-air)\n");
  std::ostringstream json;
  printJson(json, smallBatch());
  // clang-format off
  EXPECT_EQ(json.str(), R"({"schemaVersion": 4, "runs": 3, "turns": 2, "seed": 7,
 "mech": {"heatsinks": 1, "heatsinkType": "double", "coolant": 100, "environment": "hot-air"},
 "rules": {"heat.min": 0, "heat.max": 59, "heat.values": [], "heat.weights": [], "heat.damage-above": 40, "liters.min": 1, "liters.max": 40, "liters.move-at-most": 10, "selector.coolant-at-most": 2, "damage.percent-per-step": 5, "cooling.per-liter": 2, "cooling.single": 1, "cooling.double": 2, "overheat-above": 60, "critical-above": 100, "environments.space": 2, "environments.water": 1.3, "environments.hot-air": 0.7, "environments.cold-air": 1.2, "environments.temperate-air": 1},
 "perTurn": [
  {"turn": 1, "overheated": 0.3333333333333333, "critical": 0, "coolantEmpty": 0, "everOverheated": 0.3333333333333333, "everCritical": 0, "meanHeat": 23.333333333333332,
   "ci95": {"overheated": [0.06149194472039621, 0.7923403991979522], "critical": [0, 0.5614970317550454], "coolantEmpty": [0, 0.5614970317550454], "everOverheated": [0.06149194472039621, 0.7923403991979522], "everCritical": [0, 0.5614970317550454], "meanHeat": [-22.399159639267925, 69.06582630593459]}},
  {"turn": 2, "overheated": 0.6666666666666666, "critical": 0.3333333333333333, "coolantEmpty": 1, "everOverheated": 1, "everCritical": 0.3333333333333333, "meanHeat": 63,
   "ci95": {"overheated": [0.2076596008020477, 0.9385080552796037], "critical": [0.06149194472039621, 0.7923403991979522], "coolantEmpty": [0.4385029682449546, 1], "everOverheated": [0.4385029682449546, 1], "everCritical": [0.06149194472039621, 0.7923403991979522], "meanHeat": [1.0514942724731213, 124.94850572752688]}}],
 "everOverheated": 1, "everCritical": 0.3333333333333333, "damagedOut": 0.3333333333333333,
 "ci95": {"everOverheated": [0.4385029682449546, 1], "everCritical": [0.06149194472039621, 0.7923403991979522], "damagedOut": [0.06149194472039621, 0.7923403991979522]},
 "finalHeat": {"mean": 63, "median": 90.03125, "p90": 99, "p99": 99, "max": 99},
 "hottestRun": {"run": 2, "finalHeat": 99}}
)");
  // clang-format on
}

TEST(BatchReport, NamesTheRulesThatDifferFromTheGamesUnderItsFirstLine) {
  simulation::Rules every;
  every.heatMin = 5;
  every.heatMax = 69;
  every.damageAbove = 45;
  every.litersMax = 30;
  every.moveAtMost = 8;
  every.coolantAtMost = 3;
  every.percentPerStep = 10;
  every.cooling = {3.0, 1.5, 3.0, 50.0, 90.0, {2.0F, 1.5F, 0.7F, 1.2F, 1.0F}};
  simulation::Rules table;
  table.heatMax = 69;  // not played beside a table
  table.heatValues = {10, 20, 30};
  table.heatWeights = {1, 1, 2};
  table.litersMin = 0;
  table.cooling.factors.back() = 0.25F;
  simulation::Rules one;
  one.heatValues = {7};
  one.heatWeights = {1};
  const std::vector<std::pair<simulation::Rules, std::string>> cases{
      {every,
       "rules: heat 5..69, damage above 45, liters 1..30, move at 8 liters or fewer, coolant on "
       "selector 3 or below, damage 10 % a step, coolant 3 a liter, single heatsinks 1.5, double "
       "heatsinks 3, overheat above 50, critical above 90, water factor 1.5\n"},
      {table, "rules: heat table of 3 values, liters 0..40, temperate air factor 0.25\n"},
      {one, "rules: heat table of 1 value\n"}};
  for (const auto& [rules, line] : cases) {
    simulation::BatchResult result = smallBatch();
    result.settings.rules = rules;
    std::ostringstream text;
    printText(text, result);
    const std::string first = "starting in hot air\n";
    EXPECT_EQ(text.str().substr(text.str().find(first) + first.size(), line.size()), line)
        << text.str();
  }
}

TEST(BatchReport, NamesTheDistinctPercentiles) {
  // A hundred runs ending at 1 to 100: the 90th and the 99th differ.
  simulation::BatchResult result;
  result.settings.runs = 100;
  result.settings.turns = 1;
  result.tally.runs = 100;
  result.tally.perTurn.resize(1);
  result.tally.turnHeat.resize(1);
  for (int heat = 1; heat <= 100; ++heat) {
    result.tally.finalHeat.add(heat);
    result.tally.turnHeat.front().add(heat);
  }
  const Summary summary = summarize(result);
  EXPECT_NEAR(summary.finalHeat.median, 50.0, 0.1);
  EXPECT_NEAR(summary.finalHeat.p90, 90.0, 0.1);
  EXPECT_NEAR(summary.finalHeat.p99, 99.0, 0.1);
  EXPECT_EQ(summary.finalHeat.max, 100.0);
  // Each where the reports print it.
  std::ostringstream text;
  printText(text, result);
  EXPECT_NE(text.str().find("median 50.0  90th 90.0  99th 99.0  max 100.0\n"), std::string::npos)
      << text.str();
  std::ostringstream json;
  printJson(json, result);
  EXPECT_NE(
      json.str().find(R"("heat": {"p10": 10.5, "p25": 25.5, "p50": 50.5, "p75": 75, "p90": 91})"),
      std::string::npos)
      << json.str();
  EXPECT_NE(json.str().find(R"("median": 50.03125, "p90": 90.03125, "p99": 99.03125, "max": 100})"),
            std::string::npos)
      << json.str();
}

TEST(BatchReport, WritesNumbersThatReadBackExactly) {
  const double values[] = {1.0 / 3.0, 0.1, 1e-7, 123456789.125, 0.0, 505.9000000000001};
  for (const double value : values) {
    const std::string text = exactNumber(value);
    EXPECT_EQ(std::stod(text), value) << text;
  }
  EXPECT_EQ(exactNumber(0.0), "0");
}

TEST(BatchReport, WritesSharesWithTheirFirstSignificantDigit) {
  EXPECT_EQ(percentCell(0.0004, 0.00012), "0.04 % ±0.01");
  EXPECT_EQ(percentCell(0.5, 0.003), "50.0 % ±0.3");
  EXPECT_EQ(percentCell(0.0, 0.0), "0.0 % ±0.0");
  EXPECT_EQ(percentCell(0.00002, 0.0000049), "0.002 % ±0.0005");
  EXPECT_EQ(percentCell(0.000999, 0.00049), "0.1 % ±0.05");
  EXPECT_EQ(percentCell(1e-20, 0.0), "0.000000000000 % ±0.0");  // at most 12 decimals
  // What a user gave, as given.
  EXPECT_EQ(givenPercent(0.045), "0.045");
  EXPECT_EQ(givenPercent(1.0), "1.0");
  EXPECT_EQ(givenPercent(100.0 * 0.0004), "0.04");
  EXPECT_EQ(givenPercent(1e-20), "0.000000000000");
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
  // Under the rules that differ from the game's.
  settings.rules.heatValues = {0, 45};
  settings.rules.heatWeights = {3, 1};
  settings.rules.damageAbove = -1;
  settings.rules.cooling.criticalAbove = 1e20;
  settings.rules.cooling.factors[1] = 1.1F;
  EXPECT_EQ(replayCommand(settings, 3),
            "mech-heat --seed 42 --run 3 --turns 12 --coolant 0 --environment space --rule "
            "heat.values=0,45 --rule heat.weights=3,1 --rule heat.damage-above=-1 --rule "
            "critical-above=1e+20 --rule environments.water=1.1");
}

heat::MechHeatSystem design(int heatsinks, heat::HeatsinkType type, int coolant,
                            heat::Environment environment) {
  heat::MechHeatSystem mech;
  mech.heatsinkCount = heatsinks;
  mech.heatsinkType = type;
  mech.coolantLiters = coolant;
  mech.setEnvironmentSilently(environment);
  return mech;
}

TEST(SweepReport, PicksTheCheapestDesignThatIsEnoughInEachEnvironment) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  struct Candidate {
    heat::MechHeatSystem mech;
    double everOverheatedHigh;
    int heatMax = 59;
  };
  const std::vector<Candidate> candidates{
      {design(20, Single, 100, Water), 0.30},       // 0: not enough
      {design(30, Double, 0, Water), 0.05},         // 1
      {design(30, Single, 200, Water), 0.10},       // 2: as many heatsinks, single
      {design(30, Single, 50, Water), 0.09},        // 3: the same, less coolant
      {design(40, Single, 0, Water), 0.01},         // 4: more heatsinks
      {design(10, Single, 0, Space), 0.11},         // 5: not enough in space
      {design(30, Single, 50, Water), 0.02},        // 6: as cheap as 3, later
      {design(16, Single, 0, ColdAir), 0.01},       // 7: more heatsinks than 8, though single
      {design(8, Double, 100, ColdAir), 0.09},      // 8
      {design(8, Double, 100, ColdAir), 0.02, 69},  // 9: as cheap as 8, other rules
  };
  std::vector<Summary> summaries;
  for (const Candidate& candidate : candidates) {
    Summary summary = summarize(smallBatch());
    summary.settings.mech = candidate.mech;
    summary.settings.rules.heatMax = candidate.heatMax;
    summary.everOverheated.ci95.high = candidate.everOverheatedHigh;
    summaries.push_back(summary);
  }
  const auto picks = enoughDesigns(summaries, 0.10);
  ASSERT_EQ(picks.size(), 4U);
  EXPECT_EQ(picks[0].environment, Water);
  EXPECT_EQ(picks[0].design, std::optional<std::size_t>{3});
  EXPECT_EQ(picks[1].environment, Space);
  EXPECT_EQ(picks[1].design, std::nullopt);
  EXPECT_EQ(picks[2].design, std::optional<std::size_t>{8});
  EXPECT_EQ(picks[3].first, 9U);
  EXPECT_EQ(picks[3].design, std::optional<std::size_t>{9});
  EXPECT_EQ(enoughDesigns(summaries, 0.30).front().design, std::optional<std::size_t>{0});
}

TEST(SweepReport, GivesEachDesignThePlainBatchsNumbers) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  // Played by rules of their own: the same overheat level, heats up to 69 and to 30.
  simulation::Rules rules;
  rules.cooling.overheatAbove = 50.0;
  rules.heatMax = 69;
  const simulation::Design first{design(8, Single, 100, TemperateAir), rules};
  rules.heatMax = 30;
  const simulation::SweepSettings settings{
      {first, {design(8, Double, 0, HotAir), rules}}, 6, 3'000, 11, {}, {}};
  const simulation::SweepResult sweep = simulation::playSweep(settings);
  std::ostringstream json;
  printJson(json, sweep, {0.5});
  for (std::size_t index = 0; index < 2; ++index) {
    std::ostringstream plain;
    printJson(plain, simulation::playBatch(simulation::designBatch(settings, index, 3'000)));
    std::string object = plain.str();
    object.pop_back();  // the newline after it
    EXPECT_NE(json.str().find(object), std::string::npos) << object;
    EXPECT_NE(object.find(std::string{R"("rules": {"heat.min": 0, "heat.max": )"} +
                          (index == 0 ? "69" : "30") + ", "),
              std::string::npos)
        << object;
    EXPECT_NE(object.find(R"("overheat-above": 50, )"), std::string::npos) << object;
  }
  EXPECT_EQ(json.str().find("versus"), std::string::npos);  // nothing compared
  EXPECT_TRUE(json.str().starts_with(
      "{\"schemaVersion\": 4, \"runs\": 3000, \"turns\": 6, \"seed\": 11,\n \"designs\": [\n"));
  EXPECT_TRUE(json.str().ends_with(
      "],\n \"maxOverheat\": 0.5, \"enough\": [{\"environment\": \"temperate-air\", "
      "\"design\": null, \"rules\": {\"heat.max\": 69}}, {\"environment\": \"hot-air\", "
      "\"design\": 1, \"rules\": {\"heat.max\": 30}}]}\n"));
  // For spreadsheets: a header and a line per design, CRLF, numbers as in JSON.
  std::ostringstream csv;
  printCsv(csv, sweep);
  const std::string lines = csv.str();
  EXPECT_TRUE(
      lines.starts_with("heatsinks,heatsinkType,coolant,environment,heat.max,overheat-above,runs,"
                        "turns,seed,everOverheated,everOverheatedLow,everOverheatedHigh,"))
      << lines;
  const Summary second = summarize(sweep.designs[1]);
  EXPECT_NE(lines.find("\r\n8,double,0,hot-air,30,50,3000,6,11," +
                       exactNumber(second.everOverheated.value) + "," +
                       exactNumber(second.everOverheated.ci95.low) + ","),
            std::string::npos)
      << lines;
  EXPECT_EQ(std::ranges::count(lines, '\n'), 3);
  EXPECT_EQ(std::ranges::count(lines, '\r'), 3);
  EXPECT_EQ(csvField("a,b"), "\"a,b\"");
  EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csvField("plain"), "plain");
  // For people: the rules all designs share above the table, those that differ in a column.
  std::ostringstream text;
  printText(text, sweep, {0.5});
  for (const char* part :
       {"seed 11\nrules: overheat above 50\n",
        "\nheatsinks type   coolant environment   heat.max   overheated     critical",
        "\n        8 single     100 temperate air       69  ",
        "\n        8 double       0 hot air             30  ",
        "\nenough in hot air with heat 0..30: 8 double heatsinks, 0 liters (ever overheated "}) {
    EXPECT_NE(text.str().find(part), std::string::npos) << part << "\n" << text.str();
  }
  // A list as --rule takes it, a long one as its length.
  simulation::Rules table;
  table.heatValues = {10, 50};
  table.heatWeights = {1, 3};
  simulation::Rules longer;
  longer.heatValues = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  longer.heatWeights.assign(longer.heatValues.size(), 1);
  std::ostringstream lists;
  printText(
      lists,
      simulation::playSweep(
          {{{heat::MechHeatSystem{}, table}, {heat::MechHeatSystem{}, longer}}, 1, 10, 1, {}, {}}));
  EXPECT_NE(lists.str().find(" heat.values heat.weights "), std::string::npos) << lists.str();
  EXPECT_NE(lists.str().find(" temperate air       10,50          1,3 "), std::string::npos);
  EXPECT_NE(lists.str().find(" temperate air   13 values    13 values "), std::string::npos);
  // In words, a range or a table once however many of its rules changed.
  simulation::Rules one;
  one.heatValues = {7};
  one.heatWeights = {1};
  one.litersMin = 2;
  one.litersMax = 3;
  EXPECT_EQ(rulesWords(one, changedRules(one)), "heat table of 1 value, liters 2..3");
}

TEST(SweepReport, GivesEachDesignsDifferencesFromItsBaseline) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  const simulation::SweepResult sweep = simulation::playSweep(
      {{design(6, Single, 100, TemperateAir), design(12, Single, 100, TemperateAir),
        design(24, Single, 100, TemperateAir)},
       8,
       2'000,
       5,
       {},
       simulation::Versus{"heatsinks", "12", {1, 1, 1}}});
  std::ostringstream text;
  printText(text, sweep);
  // In the text the heats' columns give way to the differences, the baseline named under them.
  EXPECT_EQ(text.str(),
            "3 designs, each 2000 runs of 8 turns on the same runs, seed 5\n"
            "                                               ever        Δ ever         ever     "
            "Δ final\n"
            "heatsinks type   coolant environment     overheated    overheated     critical        "
            "heat\n"
            "        6 single     100 temperate air  68.5 % ±2.1  +17.0 % ±1.7  33.7 % ±2.1  "
            "+17.1 ±0.5\n"
            "       12 single     100 temperate air  51.5 % ±2.2    0.0 % ±0.0  21.1 % ±1.8    "
            "0.0 ±0.0\n"
            "       24 single     100 temperate air  27.5 % ±2.0  -24.1 % ±1.9   7.1 % ±1.2  "
            "-22.1 ±0.8\n"
            "Δ: each design less the same design with heatsinks 12, run by run (paired 95 % "
            "intervals)\n"
            "some runs of 3 designs end past 100 % heatsink damage, heating the mech (damagedOut "
            "in --json)\n");
  // JSON and CSV give every design its baseline and differences, each as versusSummaries has it.
  std::ostringstream json;
  printJson(json, sweep);
  std::ostringstream csv;
  printCsv(csv, sweep);
  EXPECT_NE(
      csv.str().find(",hottestFinalHeat,versusDesign,everOverheatedDifference,"
                     "everOverheatedDifferenceLow,everOverheatedDifferenceHigh,"
                     "everCriticalDifference,everCriticalDifferenceLow,"
                     "everCriticalDifferenceHigh,overheatedDifference,overheatedDifferenceLow,"
                     "overheatedDifferenceHigh,finalHeatDifference,finalHeatDifferenceLow,"
                     "finalHeatDifferenceHigh\r\n"),
      std::string::npos)
      << csv.str();
  const std::vector<VersusSummary> versus = versusSummaries(sweep);
  const charts::SweepChart chart = sweepChart(sweep, {});
  EXPECT_EQ(chart.versus, "heatsinks 12");
  for (std::size_t index = 0; index < versus.size(); ++index) {
    const VersusSummary& v = versus[index];
    std::string object = R"("versus": {"design": 1)";
    std::string line = ",1";
    for (const auto& [name, estimate] : {std::pair{"everOverheated", v.everOverheated},
                                         {"everCritical", v.everCritical},
                                         {"overheated", v.overheated},
                                         {"finalHeat", v.finalHeat}}) {
      const std::string numbers[] = {exactNumber(estimate.value), exactNumber(estimate.ci95.low),
                                     exactNumber(estimate.ci95.high)};
      object += std::string{R"(, ")"} + name + R"(": {"difference": )" + numbers[0] +
                R"(, "ci95": [)" + numbers[1] + ", " + numbers[2] + "]}";
      line += "," + numbers[0] + "," + numbers[1] + "," + numbers[2];
    }
    EXPECT_NE(json.str().find(object + "}}"), std::string::npos) << object;
    EXPECT_NE(csv.str().find(line + "\r\n"), std::string::npos) << line;
    const charts::Share& drawn = chart.series.front().points[index].difference;
    EXPECT_EQ(drawn.value, v.everOverheated.value);
    EXPECT_EQ(drawn.high, v.everOverheated.ci95.high);
  }
}

TEST(SweepReport, SaysWhetherTheMarginWasMetAndWhatIsEnough) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  struct Case {
    std::vector<simulation::Design> designs;
    double margin;
    std::uint64_t most;
    std::vector<std::string> lines;  // what the text ends with
    std::string json;                // what the JSON ends with
  };
  const std::vector<Case> cases{
      {{design(30, Double, 100, Water), design(0, Single, 0, Space)},
       0.5,
       40,
       {"margin ±50.0 %: every interval within it after 40 runs",
        "enough in water: 30 double heatsinks, 100 liters (ever overheated 15.0 % ±14.1)",
        "enough in space: no design keeps ever overheated within 50.0 %"},
       "\"margin\": {\"target\": 0.5, \"met\": true},\n \"maxOverheat\": 0.5, \"enough\": "
       "[{\"environment\": \"water\", \"design\": 0}, {\"environment\": \"space\", "
       "\"design\": null}]}\n"},
      {{design(10, Single, 100, TemperateAir)},
       0.001,
       300,
       {"margin ±0.1 %: not met within the most runs, 300 (--runs raises it)",
        "enough in temperate air: no design keeps ever overheated within 50.0 %"},
       "},\n \"margin\": {\"target\": 0.001, \"met\": false},\n \"maxOverheat\": 0.5, "
       "\"enough\": [{\"environment\": \"temperate-air\", \"design\": null}]}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.margin);
    const simulation::SweepResult result =
        simulation::playSweep({c.designs, 10, c.most, 3, c.margin, {}});
    std::ostringstream text;
    printText(text, result, {0.5});
    for (const std::string& line : c.lines) {
      EXPECT_NE(text.str().find(line + "\n"), std::string::npos) << line << "\n" << text.str();
    }
    EXPECT_EQ(text.str().find("rules"), std::string::npos);
    std::ostringstream json;
    printJson(json, result, {0.5});
    EXPECT_NE(json.str().find(c.json), std::string::npos)
        << json.str().substr(json.str().size() - 300);
    std::ostringstream csv;  // the game's rules take no columns, nothing compared none either
    printCsv(csv, result);
    EXPECT_TRUE(csv.str().starts_with("heatsinks,heatsinkType,coolant,environment,runs,"));
    EXPECT_EQ(csv.str().find("versus"), std::string::npos);
  }
}

TEST(SvgReport, ChartsTheNumbersTheSummaryGives) {
  simulation::BatchSettings settings{heat::MechHeatSystem{}, 12, 3'000, 4};
  settings.rules.cooling.overheatAbove = 50.0;
  settings.rules.cooling.criticalAbove = 90.0;
  const simulation::BatchResult result = simulation::playBatch(settings);
  const Summary summary = summarize(result);
  const charts::BatchChart chart = batchChart(result);
  // Its levels where the rules put them.
  EXPECT_EQ(chart.overheatLevel, 50.0);
  EXPECT_EQ(chart.criticalLevel, 90.0);
  EXPECT_EQ(chart.description, "Seed 4. Rules: overheat above 50, critical above 90.");
  ASSERT_EQ(chart.turns.size(), 12U);
  for (std::size_t turn = 0; turn < 12; ++turn) {
    const TurnSummary& numbers = summary.perTurn[turn];
    EXPECT_EQ(chart.turns[turn].turn, numbers.turn);
    EXPECT_EQ(chart.turns[turn].p10, numbers.heat->p10);
    EXPECT_EQ(chart.turns[turn].p50, numbers.heat->p50);
    EXPECT_EQ(chart.turns[turn].p90, numbers.heat->p90);
    EXPECT_EQ(chart.turns[turn].everOverheated.high, numbers.everOverheated.ci95.high);
    EXPECT_EQ(chart.turns[turn].critical.value, numbers.critical.value);
  }
  // The bars share out every run; the line starts at all of them and falls.
  double shares = 0.0;
  for (std::size_t bar = 0; bar < chart.finalHeat.size(); ++bar) {
    const charts::HeatBin& bin = chart.finalHeat[bar];
    EXPECT_NEAR(bin.shareAtLeast, 1.0 - shares, 1e-12);
    shares += bin.share;
    EXPECT_EQ(bin.high - bin.low, chart.finalHeat.front().high);
  }
  EXPECT_NEAR(shares, 1.0, 1e-12);
  EXPECT_LE(chart.finalHeat.back().low, result.tally.finalHeat.max());
  EXPECT_GT(chart.finalHeat.back().high, result.tally.finalHeat.max());
}

TEST(SvgReport, DrawsASweepAlongItsSweptNumber) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  struct Case {
    std::vector<simulation::Design> designs;
    std::string xLabel;
    std::vector<std::string> series;
    std::vector<double> firstXs;
  };
  const std::vector<Case> cases{
      {{design(8, Single, 100, Water), design(8, Double, 100, Water),
        design(12, Single, 100, Water), design(12, Double, 100, Water)},
       "Heatsinks",
       {"single", "double"},
       {8, 12}},
      {{design(8, Single, 0, Space), design(8, Single, 50, Space), design(8, Single, 0, Water),
        design(8, Single, 50, Water)},
       "Coolant (liters)",
       {"space", "water"},
       {0, 50}},
      {{design(8, Single, 0, Space), design(9, Single, 50, Space)},
       "Heatsinks",
       {"0 liters", "50 liters"},
       {8}},
      // Nothing numeric swept: one slot for each of the values that vary most.
      {{design(8, Single, 0, Space), design(8, Double, 0, Water)},
       "Heatsink type",
       {"space", "water"},
       {0}},
      {{design(8, Double, 5, Space), design(9, Double, 5, Space)},
       "Heatsinks",
       {"double, space"},
       {8, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xLabel);
    const simulation::SweepResult result = simulation::playSweep({c.designs, 5, 500, 2, {}, {}});
    const charts::SweepChart chart = sweepChart(result, {1.0});
    EXPECT_EQ(chart.xLabel, c.xLabel);
    std::vector<std::string> labels;
    for (const charts::SweepSeries& series : chart.series) {
      labels.push_back(series.label);
    }
    EXPECT_EQ(labels, c.series);
    std::vector<double> xs;
    for (const charts::SweepPoint& point : chart.series.front().points) {
      xs.push_back(point.x);
    }
    EXPECT_EQ(xs, c.firstXs);
    // Everything is enough at 100 %: the cheapest design of each environment is picked.
    EXPECT_TRUE(chart.series.front().points.front().picked);
    EXPECT_EQ(chart.maxOverheat, 1.0);
    EXPECT_EQ(chart.versus, "");
    // Without a level nothing is picked; the SVG is the sweep's chart.
    EXPECT_FALSE(sweepChart(result, {}).series.front().points.front().picked);
    std::ostringstream svg;
    printSvg(svg, result, {0.0});
    EXPECT_NE(svg.str().find(c.xLabel), std::string::npos);
  }
}

TEST(SvgReport, ChartsAtMostAThousandTurnsOfALongBatch) {
  const simulation::BatchResult result =
      simulation::playBatch({heat::MechHeatSystem{}, 1'500, 3, 4});
  const charts::BatchChart chart = batchChart(result);
  ASSERT_EQ(chart.turns.size(), 1'000U);
  EXPECT_EQ(chart.turns[1].turn, 3);
  EXPECT_EQ(chart.turns.back().turn, 1'500);
  std::ostringstream svg;
  printSvg(svg, simulation::SweepResult{{}, 3, false, {result}});
  EXPECT_TRUE(svg.str().find("Heat level") != std::string::npos);
}

TEST(SvgReport, DrawsARunsTurnsAndWhereItWent) {
  heat::MechHeatSystem start;
  start.setEnvironmentSilently(heat::Environment::ColdAir);
  const std::vector<simulation::TurnRecord> record{
      {5.0, std::nullopt, 10, 0},
      {70.0, heat::Environment::Space, 0, 15},
      {65.0, heat::Environment::Space, 0, 0},  // already there
  };
  simulation::BatchSettings settings{start, 3, 1, 9};
  settings.rules.cooling.overheatAbove = 66.0;
  settings.rules.cooling.criticalAbove = 80.0;
  const charts::RunChart chart = runChart(settings, record);
  EXPECT_EQ(chart.overheatLevel, 66.0);
  EXPECT_EQ(chart.criticalLevel, 80.0);
  EXPECT_EQ(chart.description, "Rules: overheat above 66, critical above 80.");
  ASSERT_EQ(chart.turns.size(), 3U);
  EXPECT_EQ(chart.turns[0].movedTo, std::optional<std::string>{"cold air"});
  EXPECT_EQ(chart.turns[1].movedTo, std::optional<std::string>{"space"});
  EXPECT_EQ(chart.turns[2].movedTo, std::nullopt);
  EXPECT_EQ(chart.turns[1].damagePercent, 15);
  EXPECT_EQ(chart.turns[0].coolantDrawn, 10);
  EXPECT_EQ(chart.turns[2].heat, 65.0);
  // A long run shows 1000 evenly spaced turns, the last among them.
  const std::vector<simulation::TurnRecord> longRun(2'500, {1.0, std::nullopt, 0, 0});
  const charts::RunChart shown = runChart({start, 2'500, 1, 9}, longRun);
  EXPECT_EQ(shown.turns.size(), 1'000U);
  EXPECT_EQ(shown.turns.back().turn, 2'500);
  settings.turns = 2'500;
  EXPECT_EQ(runChart(settings, longRun).description,
            "Every 2th turn or so is shown. Rules: overheat above 66, critical above 80.");
  std::ostringstream svg;
  printRunSvg(svg, {start, 3, 1, 9}, record);
  EXPECT_NE(svg.str().find("cold air"), std::string::npos);
}

}  // namespace
}  // namespace reports
