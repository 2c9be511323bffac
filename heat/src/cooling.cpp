#include <algorithm>
#include <ostream>

#include "heat/mech_heat_system.hpp"
#include "yes_no.hpp"

namespace heat {
namespace {

constexpr double kHeatFloor = 0.0;

}  // namespace

std::int32_t MechHeatSystem::useCoolantSilently(std::int32_t liters, const CoolingRules& rules) {
  if (coolantLiters <= 0) {
    return 0;
  }
  // A request below 1 draws nothing: a negative one must not refill the tank.
  const std::int32_t used = std::clamp(liters, 0, coolantLiters);
  coolantLiters -= used;
  coolantCooling += -rules.perLiter * static_cast<double>(used);
  return used;
}

HeatRate MechHeatSystem::computeHeatRateSilently(const CoolingRules& rules) {
  // The environment scales heatsinks and coolant alike, but not added heat.
  const double heatsinkCooling =
      ((1.0 - static_cast<double>(heatsinkDamage)) * static_cast<double>(heatsinkCount)) *
      rules.heatsinkCooling(heatsinkType);
  const double cooling =
      static_cast<double>(baseCoolingFactor) * (coolantCooling - heatsinkCooling);
  const double rate = pendingHeat + cooling;
  pendingHeat = 0.0;
  coolantCooling = 0.0;
  return HeatRate{cooling, rate};
}

void MechHeatSystem::applyHeatRate(double rate, const CoolingRules& rules) {
  heatRate = static_cast<float>(rate);
  // The stored single-precision rate is what moves the heat level.
  totalHeat += static_cast<double>(heatRate);
  totalHeat = std::max(totalHeat, kHeatFloor);
  if (totalHeat > rules.overheatAbove) {
    overheated = true;
    criticalTemperature = totalHeat > rules.criticalAbove;
  } else {
    // The critical flag is left as it was until the mech overheats again.
    overheated = false;
  }
}

void MechHeatSystem::updateCoolingSilently(const CoolingRules& rules) {
  applyHeatRate(computeHeatRateSilently(rules).rate, rules);
}

void MechHeatSystem::useCoolant(std::int32_t liters, std::ostream& out, const CoolingRules& rules) {
  if (coolantLiters <= 0) {
    out << "No coolant left in the tank!" << std::endl;
    return;
  }
  const std::int32_t used = useCoolantSilently(liters, rules);
  out << "Using " << used << " liters of coolant..." << std::endl;
  out << "Remaining coolant: " << coolantLiters << " liters" << std::endl;
}

double MechHeatSystem::computeHeatRate(std::ostream& out, const CoolingRules& rules) {
  const HeatRate computed = computeHeatRateSilently(rules);
  out << "Cooling rate: " << computed.cooling << std::endl;
  out << "Heat rate: " << computed.rate << std::endl;
  return computed.rate;
}

void MechHeatSystem::updateCooling(std::ostream& out, const CoolingRules& rules) {
  out << "Updating cooling..." << std::endl;
  applyHeatRate(computeHeatRate(out, rules), rules);
  out << "New heat level: " << totalHeat << std::endl;
  out << "Overheated? " << yesNo(overheated) << " "
      << "Critical Temp? " << yesNo(criticalTemperature) << "\n\n";
}

}  // namespace heat
