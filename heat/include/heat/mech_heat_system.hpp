#pragma once

#include <algorithm>
#include <cstdint>

#include "heat/environment.hpp"

namespace heat {

inline constexpr double kOverheatLevel = 60.0;   // heat above this overheats a mech
inline constexpr double kCriticalLevel = 100.0;  // and above this is critical
inline constexpr double kCoolingPerLiter = 2.0;  // of coolant drawn

enum class HeatsinkType : std::int32_t {
  Single = 0,
  Double = 1,  // sheds twice the heat of a single heatsink
};

// What one cooling computation found: the cooling of the heatsinks and the
// coolant, scaled by the environment, and the resulting rate of heat change.
struct HeatRate {
  double cooling;
  double rate;
};

// The thermal state of one mech. A default-constructed mech stands in
// temperate air with ten undamaged single heatsinks and a full tank; it is
// created silently.
//
// Each operation that changes the state comes twice: a silent step that does
// the arithmetic and prints nothing, and the narrated operation, which calls
// that step and tells what it did on std::cout.
struct MechHeatSystem {
  float baseCoolingFactor = 1.0F;  // always the current environment's factor
  std::int32_t heatsinkCount = 10;
  HeatsinkType heatsinkType = HeatsinkType::Single;
  float heatsinkDamage = 0.0F;  // fraction of capacity lost; only grows, no cap
  Environment environment = Environment::TemperateAir;
  std::int32_t coolantLiters = 100;  // whole liters left, never negative
  float heatRate = 0.0F;             // the rate the last cooling update applied
  double totalHeat = 0.0;            // never below 0 after a cooling update
  bool overheated = false;
  bool criticalTemperature = false;  // re-evaluated only while overheated
  double pendingHeat = 0.0;          // heat added since the last update
  double coolantCooling = 0.0;       // coolant drawn since the last update, <= 0

  // Silent steps.

  // Moves the mech and takes the environment's cooling factor, which first
  // acts at the next cooling update.
  void enterEnvironment(Environment newEnvironment);

  // Draws up to `liters` from the tank into the pending coolant cooling and
  // returns the liters drawn: none from an empty tank or for a request below 1.
  std::int32_t drawCoolant(std::int32_t liters);

  // Computes the cooling and the rate from everything collected since the
  // last update and empties both accumulators.
  HeatRate takeHeatRate();

  // Stores `rate` as the heat rate, applies it to the heat level, floors the
  // level at 0 and sets the overheated and critical-temperature flags.
  void applyHeatRate(double rate);

  // One silent cooling update: takeHeatRate, then applyHeatRate.
  void cool();

  // Narrated operations.

  // enterEnvironment, announced.
  void setEnvironment(Environment newEnvironment);

  // drawCoolant, with what was drawn and what is left, or that the tank is empty.
  void useCoolant(std::int32_t liters);

  // takeHeatRate, printing both values; returns the rate.
  double computeHeatRate();

  // One cooling update: computeHeatRate, then applyHeatRate, with the new
  // heat level and both flags.
  void updateCooling();

  // Prints the whole state as a labelled block; changes nothing.
  void printStatusReport() const;
};

// The silent steps are defined here so that a caller playing millions of
// turns gets them inlined.

inline void MechHeatSystem::enterEnvironment(Environment newEnvironment) {
  environment = newEnvironment;
  baseCoolingFactor = environmentFactor(newEnvironment);
}

inline std::int32_t MechHeatSystem::drawCoolant(std::int32_t liters) {
  if (coolantLiters <= 0) {
    return 0;
  }
  // A request below 1 draws nothing: a negative one must not refill the tank.
  const std::int32_t used = std::clamp(liters, 0, coolantLiters);
  coolantLiters -= used;
  coolantCooling += -kCoolingPerLiter * static_cast<double>(used);
  return used;
}

inline HeatRate MechHeatSystem::takeHeatRate() {
  // The environment scales heatsinks and coolant alike, but not added heat.
  const double multiplier = heatsinkType == HeatsinkType::Double ? 2.0 : 1.0;
  const double heatsinkCooling =
      ((1.0 - static_cast<double>(heatsinkDamage)) * static_cast<double>(heatsinkCount)) *
      multiplier;
  const double cooling =
      static_cast<double>(baseCoolingFactor) * (coolantCooling - heatsinkCooling);
  const double rate = pendingHeat + cooling;
  pendingHeat = 0.0;
  coolantCooling = 0.0;
  return HeatRate{cooling, rate};
}

inline void MechHeatSystem::applyHeatRate(double rate) {
  heatRate = static_cast<float>(rate);
  // The stored single-precision rate is what moves the heat level.
  totalHeat += static_cast<double>(heatRate);
  totalHeat = std::max(totalHeat, 0.0);
  if (totalHeat > kOverheatLevel) {
    overheated = true;
    criticalTemperature = totalHeat > kCriticalLevel;
  } else {
    // The critical flag is left as it was until the mech overheats again.
    overheated = false;
  }
}

inline void MechHeatSystem::cool() { applyHeatRate(takeHeatRate().rate); }

}  // namespace heat
