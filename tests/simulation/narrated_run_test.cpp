#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "recording_stream.hpp"
#include "simulation/batch.hpp"
#include "simulation/narrated_run.hpp"
#include "simulation/turn.hpp"
#include "state_bits.hpp"

namespace simulation {
namespace {

using test_support::RecordingStream;

// Plays back the given turns. Turn i's numbers come out of the generator
// offset by i whole ranges, so that a run also checks the reduction to range.
class ScriptedRandom {
 public:
  explicit ScriptedRandom(const std::vector<TurnDraws>& turns) {
    for (std::size_t i = 0; i < turns.size(); ++i) {
      const auto offset = static_cast<int>(i);
      values_.push_back(turns[i].heat + 60 * offset);
      values_.push_back(turns[i].liters - 1 + 40 * offset);
      values_.push_back(turns[i].selector + 5 * offset);
    }
  }

  TurnSource source(std::function<void()> seed = [] {}) {
    return randTurns(
        std::move(seed),
        [this] {
          if (used_ == values_.size()) {
            ADD_FAILURE() << "the run drew more numbers than scripted";
            return 0;
          }
          return values_[used_++];
        },
        Rules{});
  }

  [[nodiscard]] bool allUsed() const { return used_ == values_.size(); }

 private:
  std::vector<int> values_;
  std::size_t used_ = 0;
};

std::string readTranscript(const std::string& name) {
  std::ifstream file{std::string{TRANSCRIPT_DIR} + "/" + name, std::ios::binary};
  EXPECT_TRUE(file) << name;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

struct ScriptedRun {
  std::string transcript;
  std::vector<TurnDraws> turns;
  heat::MechHeatSystem mech{};
};

heat::MechHeatSystem configuredMech() {
  heat::MechHeatSystem mech;
  mech.heatsinkCount = 12;
  mech.heatsinkType = heat::HeatsinkType::Double;
  mech.coolantLiters = 30;
  mech.setEnvironmentSilently(heat::Environment::Water);
  return mech;
}

TEST(SimulationRun, PrintsTheTranscriptOfItsDraws) {
  // clang-format off
  const ScriptedRun runs[] = {
      // Each event alone and together; heat 40 does no damage, 41 does.
      {"mixed_events.txt",
       {{45, 8, 1}, {10, 30, 4}, {41, 40, 3}, {40, 5, 0}, {59, 10, 2},
        {0, 11, 2}, {55, 1, 4}, {40, 30, 4}, {41, 30, 4}, {12, 2, 1}}},
      // The tank runs dry and the heatsink damage passes 100 %.
      {"coolant_and_heatsinks_run_out.txt",
       {{59, 40, 2}, {59, 40, 2}, {59, 40, 2}, {59, 40, 2}, {59, 40, 4},
        {59, 40, 4}, {59, 40, 4}, {50, 40, 3}, {45, 7, 4}, {41, 3, 0}}},
      // Twelve double heatsinks starting in water with 30 liters, over twelve
      // turns: the tank runs dry early and the damage passes 100 %.
      {"configured_mech.txt",
       {{45, 8, 1}, {59, 40, 2}, {30, 5, 0}, {58, 20, 4}, {50, 3, 2}, {57, 12, 3},
        {10, 30, 4}, {59, 9, 3}, {41, 1, 4}, {59, 33, 4}, {40, 10, 1}, {55, 2, 0}},
       configuredMech()},
  };
  // clang-format on
  for (const auto& scripted : runs) {
    SCOPED_TRACE(scripted.transcript);
    ScriptedRandom random{scripted.turns};
    auto mech = scripted.mech;
    const auto turns = static_cast<int>(scripted.turns.size());
    RecordingStream output;
    playNarratedRun(mech, turns, random.source(), Rules{}, output);
    EXPECT_EQ(output.text(), readTranscript(scripted.transcript));
    EXPECT_TRUE(random.allUsed());
  }
}

TEST(SimulationRun, SeedsOnceAfterTheFirstReport) {
  RecordingStream newMechReport;
  heat::MechHeatSystem{}.printStatusReport(newMechReport);
  const std::string marker = "<seeded>";
  ScriptedRandom random{std::vector<TurnDraws>(kDefaultTurnCount, TurnDraws{10, 30, 4})};
  heat::MechHeatSystem mech;

  RecordingStream output;
  playNarratedRun(mech, kDefaultTurnCount, random.source([&] { output << marker; }), Rules{},
                  output);

  EXPECT_EQ(output.text().find(marker), newMechReport.text().size());
  EXPECT_EQ(output.text().rfind(marker), newMechReport.text().size());
}

TEST(SimulationRun, LeavesTheStateThatTheSilentStepsLeave) {
  std::mt19937 generator{2024};  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same turns every time
  std::vector<TurnDraws> turns(3'000);
  for (auto& draws : turns) {
    draws = TurnDraws{std::uniform_int_distribution{0, 59}(generator),
                      std::uniform_int_distribution{1, 40}(generator),
                      std::uniform_int_distribution{0, 4}(generator)};
  }
  heat::MechHeatSystem noHeatsinks;
  noHeatsinks.heatsinkCount = 0;
  noHeatsinks.coolantLiters = 10'000;
  for (const auto& start : {heat::MechHeatSystem{}, configuredMech(), noHeatsinks}) {
    ScriptedRandom random{turns};
    auto narrated = start;
    RecordingStream output;
    playNarratedRun(narrated, static_cast<int>(turns.size()), random.source(), Rules{}, output);
    auto silent = start;
    for (const auto& draws : turns) {
      playTurnSilently(silent, draws, Rules{});
    }
    EXPECT_EQ(test_support::stateBits(narrated), test_support::stateBits(silent));
  }
}

// A run by changed rules replayed by hand, from a mech of ten single
// heatsinks in temperate air: each number the remainder of a std::rand-like
// value by its range's size, from the range's start (a table's heat the
// first value whose running sum of weights exceeds it), then the turn's
// events and cooling update as the rules give them.
struct HandReplay {
  const Rules& rules;
  double heat = 0.0;
  float damage = 0.0F;
  float factor = rules.cooling.factors[4];
  int coolant = 100;
  bool critical = false;

  [[nodiscard]] int heatOf(int value) const {
    if (rules.heatValues.empty()) {
      return value % (rules.heatMax - rules.heatMin + 1) + rules.heatMin;
    }
    int sum = 0;
    for (const int weight : rules.heatWeights) {
      sum += weight;
    }
    std::size_t entry = 0;
    for (int through = rules.heatWeights[0]; through <= value % sum;
         through += rules.heatWeights[++entry]) {
    }
    return rules.heatValues[entry];
  }

  // One turn from its three values, heat, liters and selector.
  void play(const std::array<int, 3>& values) {
    const auto [heatValue, litersValue, selectorValue] = values;
    const int added = heatOf(heatValue);
    const int liters = litersValue % (rules.litersMax - rules.litersMin + 1) + rules.litersMin;
    const int selector = selectorValue % 5;
    if (liters <= rules.moveAtMost) {
      factor = rules.cooling.factors.at(static_cast<std::size_t>(selector));
    }
    double coolantCooling = 0.0;
    if (selector <= rules.coolantAtMost && coolant > 0) {
      const int used = std::min(liters, coolant);
      coolant -= used;
      coolantCooling = -rules.cooling.perLiter * used;
    }
    if (added > rules.damageAbove) {
      damage += static_cast<float>(rules.percentPerStep * (selector + 1) / 100.0);
    }
    const double sinks = (1.0 - static_cast<double>(damage)) * 10.0 * rules.cooling.singleHeatsink;
    const double rate = added + static_cast<double>(factor) * (coolantCooling - sinks);
    heat = std::max(0.0, heat + static_cast<double>(static_cast<float>(rate)));
    critical = heat > rules.cooling.overheatAbove ? heat > rules.cooling.criticalAbove : critical;
  }
};

TEST(SimulationRun, PlaysTheRulesItIsGiven) {
  Rules hot;
  hot.heatMin = 20;
  hot.heatMax = 89;
  hot.damageAbove = 70;
  hot.litersMin = 0;
  hot.litersMax = 24;
  hot.moveAtMost = 3;
  hot.coolantAtMost = 0;
  hot.percentPerStep = 7;
  hot.cooling = {3.5, 1.25, 2.75, 45.0, 80.0, {2.5F, 1.1F, 0.3F, 1.7F, 0.9F}};
  Rules table;
  table.heatValues = {5, 30, 61, 0};
  table.heatWeights = {3, 0, 6, 1};
  table.damageAbove = -1;
  table.moveAtMost = -1;
  table.coolantAtMost = 4;
  std::mt19937 generator{99};  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same run every time
  std::vector<int> values(std::size_t{3} * 400);
  for (int& value : values) {
    value = std::uniform_int_distribution{0, 32767}(generator);
  }
  for (const Rules& rules : {hot, table}) {
    std::size_t next = 0;
    heat::MechHeatSystem mech;
    mech.setEnvironmentSilently(heat::Environment::TemperateAir, rules.cooling);
    RecordingStream output;
    const std::vector<TurnRecord> record = playNarratedRun(
        mech, 400, randTurns([] {}, [&] { return values.at(next++); }, rules), rules, output);
    HandReplay replay{rules};
    for (std::size_t turn = 0; turn < record.size(); ++turn) {
      replay.play({values[3 * turn], values[3 * turn + 1], values[3 * turn + 2]});
      ASSERT_EQ(record[turn].heat, replay.heat) << "turn " << turn + 1;
    }
    EXPECT_EQ(mech.coolantLiters, replay.coolant);
    EXPECT_EQ(mech.heatsinkDamage, replay.damage);
    EXPECT_EQ(mech.criticalTemperature, replay.critical);
    EXPECT_EQ(mech.overheated, replay.heat > rules.cooling.overheatAbove);
  }
}

TEST(SimulationRun, OfABatchRunEndsWithThatRunsFinalHeat) {
  // The hottest run of a batch, narrated alone, ends at the heat the batch
  // found for it, to the bit, on a mech that cools as well as one that cannot.
  for (const heat::MechHeatSystem& start : {heat::MechHeatSystem{}, configuredMech()}) {
    BatchSettings settings{start, 15, 3'000, 77};
    const BatchResult result = playBatch(settings);
    const HottestRun hottest = result.tally.hottest;
    ASSERT_LT(hottest.run, settings.runs);
    auto mech = start;
    RecordingStream output;
    playNarratedRun(mech, settings.turns, batchRunTurns(settings.seed, hottest.run, settings.rules),
                    settings.rules, output);
    EXPECT_EQ(mech.totalHeat, hottest.finalHeat);
    EXPECT_EQ(mech.totalHeat, result.tally.finalHeat.max());
    // Only the hottest: its neighbour ends elsewhere.
    auto neighbour = start;
    playNarratedRun(neighbour, settings.turns,
                    batchRunTurns(settings.seed, hottest.run + 1, settings.rules), settings.rules,
                    output);
    EXPECT_NE(neighbour.totalHeat, hottest.finalHeat);
  }
}

}  // namespace
}  // namespace simulation
