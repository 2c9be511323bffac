#pragma once

#include <cstdint>

#include "heat/environment.hpp"

namespace heat {

enum class HeatsinkType : std::int32_t {
  Single = 0,
  Double = 1,  // sheds twice the heat of a single heatsink
};

// The thermal state of one mech. A default-constructed mech stands in
// temperate air with ten undamaged single heatsinks and a full tank; it is
// created silently.
//
// Every operation narrates itself on std::cout.
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

  // Moves the mech, takes the environment's cooling factor and announces it.
  // The new factor first acts at the next cooling update.
  void setEnvironment(Environment newEnvironment);

  // Draws up to `liters` from the tank into the pending coolant cooling.
  // A request below 1 draws nothing.
  void useCoolant(std::int32_t liters);

  // Computes the cooling and the rate of heat change from everything
  // collected since the last update, empties both accumulators, prints both
  // values and returns the rate.
  double computeHeatRate();

  // One cooling update: applies the rate to the heat level, floors it at 0
  // and sets the overheated and critical-temperature flags.
  void updateCooling();

  // Prints the whole state as a labelled block; changes nothing.
  void printStatusReport() const;
};

}  // namespace heat
