#include <ostream>
#include <string>

#include "heat/mech_heat_system.hpp"
#include "yes_no.hpp"

namespace heat {

void MechHeatSystem::printStatusReport(std::ostream& out) const {
  const std::string environmentText = environmentName(environment);
  const char* const typeText = heatsinkType == HeatsinkType::Double ? "Double" : "Single";

  out << "Mech Status Report" << std::endl;
  out << "Base Cooling Factor: " << baseCoolingFactor << std::endl;
  out << "# of Heatsinks: " << heatsinkCount << std::endl;
  out << "Heatsink Type: " << typeText << std::endl;
  out << "Heatsink Damage: " << heatsinkDamage << std::endl;
  out << "Current Environment: " << environmentText << std::endl;
  out << "Remaining Coolant: " << coolantLiters << " liters" << std::endl;
  out << "Rate of Heat Change: " << heatRate << std::endl;
  out << "Total Heat: " << totalHeat << std::endl;
  out << "Is Overheated? " << yesNo(overheated) << std::endl;
  out << "Critical Temperature? " << yesNo(criticalTemperature) << std::endl;
  out << std::endl;
}

}  // namespace heat
