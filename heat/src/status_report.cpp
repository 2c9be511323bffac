#include <iostream>
#include <string>

#include "heat/mech_heat_system.hpp"
#include "yes_no.hpp"

namespace heat {

void MechHeatSystem::printStatusReport() const {
  const std::string environmentText = environmentName(environment);
  const char* const typeText = heatsinkType == HeatsinkType::Double ? "Double" : "Single";

  std::cout << "Mech Status Report" << std::endl;
  std::cout << "Base Cooling Factor: " << baseCoolingFactor << std::endl;
  std::cout << "# of Heatsinks: " << heatsinkCount << std::endl;
  std::cout << "Heatsink Type: " << typeText << std::endl;
  std::cout << "Heatsink Damage: " << heatsinkDamage << std::endl;
  std::cout << "Current Environment: " << environmentText << std::endl;
  std::cout << "Remaining Coolant: " << coolantLiters << " liters" << std::endl;
  std::cout << "Rate of Heat Change: " << heatRate << std::endl;
  std::cout << "Total Heat: " << totalHeat << std::endl;
  std::cout << "Is Overheated? " << yesNo(overheated) << std::endl;
  std::cout << "Critical Temperature? " << yesNo(criticalTemperature) << std::endl;
  std::cout << std::endl;
}

}  // namespace heat
