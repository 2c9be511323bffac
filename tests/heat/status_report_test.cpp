#include <gtest/gtest.h>

#include <string>

#include "heat/mech_heat_system.hpp"
#include "recording_stream.hpp"

namespace heat {
namespace {

using test_support::RecordingStream;

TEST(StatusReport, OfANewMechShowsTheDefaultState) {
  // Creating the mech prints nothing: the output is the report alone.
  RecordingStream output;
  const MechHeatSystem mech;
  mech.printStatusReport(output);
  EXPECT_EQ(output.text(),
            "Mech Status Report\n"
            "Base Cooling Factor: 1\n"
            "# of Heatsinks: 10\n"
            "Heatsink Type: Single\n"
            "Heatsink Damage: 0\n"
            "Current Environment: In temperate air\n"
            "Remaining Coolant: 100 liters\n"
            "Rate of Heat Change: 0\n"
            "Total Heat: 0\n"
            "Is Overheated? no\n"
            "Critical Temperature? no\n"
            "\n");
  EXPECT_EQ(output.flushes(), 12);  // every line, the empty one included
}

TEST(StatusReport, ShowsTheStateAfterEvents) {
  MechHeatSystem mech;
  RecordingStream narration;
  mech.setEnvironment(Environment::HotAir, narration);
  mech.useCoolant(30, narration);
  mech.heatsinkDamage += 0.05F;
  mech.heatsinkDamage += 0.15F;
  mech.updateCooling(narration);  // cools a cold mech below 0: the heat is floored
  mech.heatsinkType = HeatsinkType::Double;
  mech.criticalTemperature = true;

  RecordingStream output;
  mech.printStatusReport(output);
  EXPECT_EQ(output.text(),
            "Mech Status Report\n"
            "Base Cooling Factor: 0.7\n"
            "# of Heatsinks: 10\n"
            "Heatsink Type: Double\n"
            "Heatsink Damage: 0.2\n"
            "Current Environment: In hot air\n"
            "Remaining Coolant: 70 liters\n"
            "Rate of Heat Change: -47.6\n"
            "Total Heat: 0\n"
            "Is Overheated? no\n"
            "Critical Temperature? yes\n"
            "\n");
}

TEST(StatusReport, NamesAnOutOfRangeEnvironmentUnknown) {
  MechHeatSystem mech;
  mech.environment = static_cast<Environment>(7);
  RecordingStream output;
  mech.printStatusReport(output);
  EXPECT_NE(output.text().find("\nCurrent Environment: unknown\n"), std::string::npos);
}

}  // namespace
}  // namespace heat
