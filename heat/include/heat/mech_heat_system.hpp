#pragma once

#include <cstdint>
#include <iostream>

#include "heat/cooling_rules.hpp"
#include "heat/environment.hpp"

namespace heat {

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
// Each operation that changes the state comes twice: the narrated operation,
// which tells what it did on the stream it is given (std::cout unless told
// otherwise), and its silent twin, named after it, which does the same
// arithmetic and prints nothing. Each plays by the cooling rules it is given,
// the game's own unless told otherwise.
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

  // Moves the mech and takes the environment's cooling factor, which first
  // acts at the next cooling update; announced.
  void setEnvironment(Environment newEnvironment, std::ostream& out = std::cout,
                      const CoolingRules& rules = kDefaultCoolingRules);
  void setEnvironmentSilently(Environment newEnvironment,
                              const CoolingRules& rules = kDefaultCoolingRules);

  // Draws up to `liters` from the tank into the pending coolant cooling, and
  // tells what was drawn and what is left, or that the tank is empty. A
  // request below 1 draws nothing. The silent twin returns the liters drawn.
  void useCoolant(std::int32_t liters, std::ostream& out = std::cout,
                  const CoolingRules& rules = kDefaultCoolingRules);
  std::int32_t useCoolantSilently(std::int32_t liters,
                                  const CoolingRules& rules = kDefaultCoolingRules);

  // Computes the cooling and the rate from everything collected since the
  // last update and empties both accumulators; prints both values and
  // returns the rate.
  double computeHeatRate(std::ostream& out = std::cout,
                         const CoolingRules& rules = kDefaultCoolingRules);
  HeatRate computeHeatRateSilently(const CoolingRules& rules = kDefaultCoolingRules);

  // One cooling update: computes the rate, then applyHeatRate; prints the
  // rates, the new heat level and both flags.
  void updateCooling(std::ostream& out = std::cout,
                     const CoolingRules& rules = kDefaultCoolingRules);
  void updateCoolingSilently(const CoolingRules& rules = kDefaultCoolingRules);

  // Stores `rate` as the heat rate, applies it to the heat level, floors the
  // level at 0 and sets the overheated and critical-temperature flags: the
  // second half of a cooling update, which prints nothing.
  void applyHeatRate(double rate, const CoolingRules& rules = kDefaultCoolingRules);

  // Prints the whole state as a labelled block; changes nothing.
  void printStatusReport(std::ostream& out = std::cout) const;
};

}  // namespace heat
