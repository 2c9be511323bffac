#pragma once

#include <cstdint>

#include "heat/environment.hpp"

namespace heat {

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

}  // namespace heat
