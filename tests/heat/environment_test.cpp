#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#include "heat/mech_heat_system.hpp"
#include "recording_stream.hpp"

namespace heat {
namespace {

struct EnvironmentRow {
  std::int32_t value;
  float factor;
  std::string name;
  std::string optionName;
};

TEST(EnvironmentTable, GivesEachEnvironmentItsFactorAndName) {
  const EnvironmentRow rows[] = {
      {0, 2.0F, "We're in space, wohoo!", "space"},
      {1, 1.3F, "In water", "water"},
      {2, 0.7F, "In hot air", "hot-air"},
      {3, 1.2F, "In cold air", "cold-air"},
      {4, 1.0F, "In temperate air", "temperate-air"},
      {5, 1.0F, "unknown", "unknown"},
      {7, 1.0F, "unknown", "unknown"},
      {-1, 1.0F, "unknown", "unknown"},
      {INT32_MIN, 1.0F, "unknown", "unknown"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    const auto environment = static_cast<Environment>(row.value);
    // Bit for bit: the factors are single-precision constants.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(environmentFactor(environment)),
              std::bit_cast<std::uint32_t>(row.factor));
    EXPECT_EQ(environmentName(environment), row.name);
    EXPECT_EQ(traitsOf(environment).optionName, row.optionName);
    const bool named = row.value >= 0 && row.value <= 4;
    EXPECT_EQ(environmentNamed(row.optionName), named ? std::optional{environment} : std::nullopt);

    MechHeatSystem mech;
    test_support::RecordingStream output;
    mech.setEnvironment(environment, output);
    EXPECT_EQ(output.text(), "Changing environment to: " + row.name + "\n");
    EXPECT_EQ(output.flushes(), 1);
    EXPECT_EQ(static_cast<std::int32_t>(mech.environment), row.value);
    EXPECT_EQ(mech.baseCoolingFactor, row.factor);
  }
}

TEST(SetEnvironment, ChangesOnlyTheEnvironmentAndItsFactor) {
  MechHeatSystem mech;
  mech.totalHeat = 70.0;
  mech.overheated = true;
  mech.pendingHeat = 12.0;
  mech.coolantCooling = -4.0;
  mech.coolantLiters = 42;

  test_support::RecordingStream output;
  mech.setEnvironment(Environment::HotAir, output);
  mech.setEnvironment(Environment::HotAir, output);  // announced again, nothing else changes
  mech.setEnvironment(Environment::TemperateAir, output);

  EXPECT_EQ(output.text(),
            "Changing environment to: In hot air\n"
            "Changing environment to: In hot air\n"
            "Changing environment to: In temperate air\n");
  EXPECT_EQ(mech.environment, Environment::TemperateAir);
  EXPECT_EQ(mech.baseCoolingFactor, 1.0F);
  EXPECT_EQ(mech.totalHeat, 70.0);
  EXPECT_TRUE(mech.overheated);
  EXPECT_EQ(mech.pendingHeat, 12.0);
  EXPECT_EQ(mech.coolantCooling, -4.0);
  EXPECT_EQ(mech.coolantLiters, 42);
}

}  // namespace
}  // namespace heat
