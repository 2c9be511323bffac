#include <algorithm>
#include <ostream>

#include "heat/mech_heat_system.hpp"
#include "yes_no.hpp"

namespace heat {
namespace {

constexpr double kCoolingPerLiter = 2.0;
constexpr double kHeatFloor = 0.0;
constexpr double kOverheatLevel = 60.0;
constexpr double kCriticalLevel = 100.0;

double heatsinkMultiplier(HeatsinkType type) { return type == HeatsinkType::Double ? 2.0 : 1.0; }

}  // namespace

std::int32_t MechHeatSystem::useCoolantSilently(std::int32_t liters) {
  if (coolantLiters <= 0) {
    return 0;
  }
  // A request below 1 draws nothing: a negative one must not refill the tank.
  const std::int32_t used = std::clamp(liters, 0, coolantLiters);
  coolantLiters -= used;
  coolantCooling += -kCoolingPerLiter * static_cast<double>(used);
  return used;
}

HeatRate MechHeatSystem::computeHeatRateSilently() {
  // The environment scales heatsinks and coolant alike, but not added heat.
  const double heatsinkCooling =
      ((1.0 - static_cast<double>(heatsinkDamage)) * static_cast<double>(heatsinkCount)) *
      heatsinkMultiplier(heatsinkType);
  const double cooling =
      static_cast<double>(baseCoolingFactor) * (coolantCooling - heatsinkCooling);
  const double rate = pendingHeat + cooling;
  pendingHeat = 0.0;
  coolantCooling = 0.0;
  return HeatRate{cooling, rate};
}

void MechHeatSystem::applyHeatRate(double rate) {
  heatRate = static_cast<float>(rate);
  // The stored single-precision rate is what moves the heat level.
  totalHeat += static_cast<double>(heatRate);
  totalHeat = std::max(totalHeat, kHeatFloor);
  if (totalHeat > kOverheatLevel) {
    overheated = true;
    criticalTemperature = totalHeat > kCriticalLevel;
  } else {
    // The critical flag is left as it was until the mech overheats again.
    overheated = false;
  }
}

void MechHeatSystem::updateCoolingSilently() { applyHeatRate(computeHeatRateSilently().rate); }

void MechHeatSystem::useCoolant(std::int32_t liters, std::ostream& out) {
  if (coolantLiters <= 0) {
    out << "No coolant left in the tank!" << std::endl;
    return;
  }
  const std::int32_t used = useCoolantSilently(liters);
  out << "Using " << used << " liters of coolant..." << std::endl;
  out << "Remaining coolant: " << coolantLiters << " liters" << std::endl;
}

double MechHeatSystem::computeHeatRate(std::ostream& out) {
  const HeatRate computed = computeHeatRateSilently();
  out << "Cooling rate: " << computed.cooling << std::endl;
  out << "Heat rate: " << computed.rate << std::endl;
  return computed.rate;
}

void MechHeatSystem::updateCooling(std::ostream& out) {
  out << "Updating cooling..." << std::endl;
  applyHeatRate(computeHeatRate(out));
  out << "New heat level: " << totalHeat << std::endl;
  out << "Overheated? " << yesNo(overheated) << " "
      << "Critical Temp? " << yesNo(criticalTemperature) << "\n\n";
}

}  // namespace heat
