#include <gtest/gtest.h>

#include <random>

#include <cstddef>
#include <fstream>
#include <iostream>
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
    return randTurns(std::move(seed), [this] {
      if (used_ == values_.size()) {
        ADD_FAILURE() << "the run drew more numbers than scripted";
        return 0;
      }
      return values_[used_++];
    }, Rules{});
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
