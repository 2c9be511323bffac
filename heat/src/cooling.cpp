#include <iostream>

#include "heat/mech_heat_system.hpp"
#include "yes_no.hpp"

namespace heat {
void MechHeatSystem::useCoolant(std::int32_t liters) {
  if (coolantLiters <= 0) {
    std::cout << "No coolant left in the tank!" << std::endl;
    return;
  }
  const std::int32_t used = drawCoolant(liters);
  std::cout << "Using " << used << " liters of coolant..." << std::endl;
  std::cout << "Remaining coolant: " << coolantLiters << " liters" << std::endl;
}

double MechHeatSystem::computeHeatRate() {
  const HeatRate computed = takeHeatRate();
  std::cout << "Cooling rate: " << computed.cooling << std::endl;
  std::cout << "Heat rate: " << computed.rate << std::endl;
  return computed.rate;
}

void MechHeatSystem::updateCooling() {
  std::cout << "Updating cooling..." << std::endl;
  applyHeatRate(computeHeatRate());
  std::cout << "New heat level: " << totalHeat << std::endl;
  std::cout << "Overheated? " << yesNo(overheated) << " "
            << "Critical Temp? " << yesNo(criticalTemperature) << "\n\n";
}

}  // namespace heat
