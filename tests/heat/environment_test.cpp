#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "capture_stdout.hpp"
#include "heat/mech_heat_system.hpp"

namespace heat {
namespace {

struct EnvironmentRow {
  std::int32_t value;
  float factor;
  std::string name;
};

TEST(EnvironmentTable, GivesEachEnvironmentItsFactorAndName) {
  const EnvironmentRow rows[] = {
      {0, 2.0F, "We're in space, wohoo!"},
      {1, 1.3F, "In water"},
      {2, 0.7F, "In hot air"},
      {3, 1.2F, "In cold air"},
      {4, 1.0F, "In temperate air"},
      {5, 1.0F, "unknown"},
      {7, 1.0F, "unknown"},
      {-1, 1.0F, "unknown"},
      {INT32_MIN, 1.0F, "unknown"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    const auto environment = static_cast<Environment>(row.value);
    // Bit for bit: the factors are single-precision constants.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(environmentFactor(environment)),
              std::bit_cast<std::uint32_t>(row.factor));
    EXPECT_EQ(environmentName(environment), row.name);

    MechHeatSystem mech;
    const auto output = test_support::captureStdout([&] { mech.setEnvironment(environment); });
    EXPECT_EQ(output.text, "Changing environment to: " + row.name + "\n");
    EXPECT_EQ(output.flushes, 1);
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

  const auto output = test_support::captureStdout([&] {
    mech.setEnvironment(Environment::HotAir);
    mech.setEnvironment(Environment::HotAir);  // announced again, nothing else changes
    mech.setEnvironment(Environment::TemperateAir);
  });

  EXPECT_EQ(output.text,
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
