#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "capture_stdout.hpp"
#include "heat/mech_heat_system.hpp"
#include "simulation.hpp"

namespace simulation {
namespace {

using test_support::captureStdout;

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

  RandomSource source(std::function<void()> seed = [] {}) {
    return RandomSource{std::move(seed), [this] {
                          if (used_ == values_.size()) {
                            ADD_FAILURE() << "the run drew more numbers than scripted";
                            return 0;
                          }
                          return values_[used_++];
                        }};
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
};

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
  };
  // clang-format on
  for (const auto& scripted : runs) {
    SCOPED_TRACE(scripted.transcript);
    ScriptedRandom random{scripted.turns};
    heat::MechHeatSystem mech;
    const auto output = captureStdout([&] { run(mech, random.source()); });
    EXPECT_EQ(output.text, readTranscript(scripted.transcript));
    EXPECT_TRUE(random.allUsed());
  }
}

TEST(SimulationRun, SeedsOnceAfterTheFirstReport) {
  const auto newMechReport = captureStdout([] { heat::MechHeatSystem{}.printStatusReport(); }).text;
  const std::string marker = "<seeded>";
  ScriptedRandom random{std::vector<TurnDraws>(kTurnCount, TurnDraws{10, 30, 4})};
  heat::MechHeatSystem mech;

  const auto output =
      captureStdout([&] { run(mech, random.source([&] { std::cout << marker; })); });

  EXPECT_EQ(output.text.find(marker), newMechReport.size());
  EXPECT_EQ(output.text.rfind(marker), newMechReport.size());
}

}  // namespace
}  // namespace simulation
