#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "recording_stream.hpp"

namespace heat {
namespace {

using test_support::RecordingStream;

struct CoolantCase {
  std::string label;
  std::int32_t tank;
  std::int32_t request;
  std::string output;
  std::int32_t tankAfter;
  double coolingAfter;
};

TEST(UseCoolant, DrawsWhatTheTankCanGive) {
  // clang-format off
  const CoolantCase cases[] = {
      {"partial draw", 100, 8, "Using 8 liters of coolant...\nRemaining coolant: 92 liters\n", 92, -16.0},
      {"more than is left", 12, 30, "Using 12 liters of coolant...\nRemaining coolant: 0 liters\n", 0, -24.0},
      {"exactly what is left", 12, 12, "Using 12 liters of coolant...\nRemaining coolant: 0 liters\n", 0, -24.0},
      {"empty tank", 0, 5, "No coolant left in the tank!\n", 0, 0.0},
      // A request below 1 draws nothing, whatever its size.
      {"zero request", 100, 0, "Using 0 liters of coolant...\nRemaining coolant: 100 liters\n", 100, 0.0},
      {"negative request", 100, -5, "Using 0 liters of coolant...\nRemaining coolant: 100 liters\n", 100, 0.0},
      {"most negative request", 3, INT_MIN, "Using 0 liters of coolant...\nRemaining coolant: 3 liters\n", 3, 0.0},
      {"negative request, empty tank", 0, -5, "No coolant left in the tank!\n", 0, 0.0},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    MechHeatSystem mech;
    mech.coolantLiters = c.tank;
    RecordingStream output;
    mech.useCoolant(c.request, output);
    EXPECT_EQ(output.text(), c.output);
    EXPECT_EQ(mech.coolantLiters, c.tankAfter);
    EXPECT_EQ(mech.coolantCooling, c.coolingAfter);
  }
}

TEST(UpdateCooling, OfANewMechCoolsToTheFloor) {
  MechHeatSystem mech;
  RecordingStream output;
  mech.updateCooling(output);
  EXPECT_EQ(output.text(),
            "Updating cooling...\n"
            "Cooling rate: -10\n"
            "Heat rate: -10\n"
            "New heat level: 0\n"
            "Overheated? no Critical Temp? no\n\n");
  // Every line is flushed except the two-flag line.
  EXPECT_EQ(output.flushes(), 4);
  EXPECT_EQ(mech.heatRate, -10.0F);
  EXPECT_EQ(mech.totalHeat, 0.0);
  EXPECT_FALSE(std::signbit(mech.totalHeat));
}

TEST(UpdateCooling, WorkedExampleInWaterIsExactToTheBit) {
  MechHeatSystem mech;
  RecordingStream output;
  mech.setEnvironment(Environment::Water, output);
  mech.useCoolant(8, output);
  mech.heatsinkDamage += 0.1F;
  mech.pendingHeat += 45.0;
  mech.updateCooling(output);
  EXPECT_NE(output.text().find("Updating cooling...\n"
                               "Cooling rate: -32.5\n"
                               "Heat rate: 12.5\n"
                               "New heat level: 12.5\n"
                               "Overheated? no Critical Temp? no\n\n"),
            std::string::npos);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(mech.heatRate), 0x41480001U);  // 12.50000095...
  EXPECT_EQ(mech.totalHeat, 0x1.9000020000000p+3);
  EXPECT_EQ(mech.pendingHeat, 0.0);
  EXPECT_EQ(mech.coolantCooling, 0.0);
}

TEST(UpdateCooling, ReturnsTheUnnarrowedRate) {
  MechHeatSystem mech;
  mech.baseCoolingFactor = 1.3F;
  mech.heatsinkDamage = 0.1F;
  mech.coolantCooling = -16.0;
  mech.pendingHeat = 45.0;
  RecordingStream output;
  const double rate = mech.computeHeatRate(output);
  EXPECT_EQ(output.text(), "Cooling rate: -32.5\nHeat rate: 12.5\n");
  EXPECT_EQ(rate, 0x1.9000028a66668p+3);
}

struct RateCase {
  std::string label;
  Environment environment;
  HeatsinkType type;
  float damage;
  std::vector<std::int32_t> coolantDraws;
  double pendingHeat;
  std::string coolingLine;
  std::string rateLine;
};

TEST(UpdateCooling, ComputesCoolingFromHeatsinksCoolantAndEnvironment) {
  // clang-format off
  const RateCase cases[] = {
      {"double heatsinks shed twice",
       Environment::TemperateAir, HeatsinkType::Double, 0.0F, {}, 0.0,
       "Cooling rate: -20", "Heat rate: -20"},
      {"damage above 1 adds heat",
       Environment::TemperateAir, HeatsinkType::Single, 1.5F, {}, 0.0,
       "Cooling rate: 5", "Heat rate: 5"},
      {"single-precision factor leaves a residue",
       Environment::Water, HeatsinkType::Single, 0.0F, {}, 13.0,
       "Cooling rate: -13", "Heat rate: 4.76837e-07"},
      {"coolant draws add up and scale at the update",
       Environment::Space, HeatsinkType::Single, 0.0F, {8, 4}, 30.0,
       "Cooling rate: -68", "Heat rate: -38"},
      {"hot air weakens all cooling",
       Environment::HotAir, HeatsinkType::Single, 0.0F, {10}, 0.0,
       "Cooling rate: -21", "Heat rate: -21"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    MechHeatSystem mech;
    mech.heatsinkType = c.type;
    mech.heatsinkDamage = c.damage;
    RecordingStream output;
    for (const auto liters : c.coolantDraws) {
      mech.useCoolant(liters, output);  // drawn before the environment changes
    }
    mech.setEnvironment(c.environment, output);
    mech.pendingHeat = c.pendingHeat;
    mech.updateCooling(output);
    EXPECT_NE(output.text().find("\n" + c.coolingLine + "\n" + c.rateLine + "\n"),
              std::string::npos)
        << output.text();
  }
}

struct ThresholdCase {
  double heatBefore;
  double heatAdded;
  bool overheatedBefore;
  bool criticalBefore;
  std::string lines;
  bool overheated;
  bool critical;
};

TEST(UpdateCooling, SetsTheFlagsAboveSixtyAndAboveOneHundred) {
  // clang-format off
  const ThresholdCase cases[] = {
      {0.0, 60.0, false, false, "New heat level: 60\nOverheated? no Critical Temp? no\n\n", false, false},
      {0.0, 60.5, false, false, "New heat level: 60.5\nOverheated? yes Critical Temp? no\n\n", true, false},
      {0.0, 100.0, false, false, "New heat level: 100\nOverheated? yes Critical Temp? no\n\n", true, false},
      {0.0, 100.5, false, false, "New heat level: 100.5\nOverheated? yes Critical Temp? yes\n\n", true, true},
      // Falling from critical to 100 clears the critical flag ...
      {110.0, -10.0, true, true, "New heat level: 100\nOverheated? yes Critical Temp? no\n\n", true, false},
      // ... but a fall straight to 60 or below leaves it set.
      {110.0, -70.0, true, true, "New heat level: 40\nOverheated? no Critical Temp? yes\n\n", false, true},
      {5.0, -20.0, false, false, "New heat level: 0\nOverheated? no Critical Temp? no\n\n", false, false},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.heatBefore + c.heatAdded);
    MechHeatSystem mech;
    mech.heatsinkCount = 0;  // the added heat alone moves the level
    mech.totalHeat = c.heatBefore;
    mech.overheated = c.overheatedBefore;
    mech.criticalTemperature = c.criticalBefore;
    mech.pendingHeat = c.heatAdded;
    RecordingStream output;
    mech.updateCooling(output);
    EXPECT_TRUE(output.text().ends_with(c.lines)) << output.text();
    EXPECT_EQ(mech.overheated, c.overheated);
    EXPECT_EQ(mech.criticalTemperature, c.critical);
  }
}

}  // namespace
}  // namespace heat
