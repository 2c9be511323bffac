#pragma once

#include "heat/environment.hpp"
#include "heat/mech_heat_system.hpp"

// One turn of a run, written once for the narrated run and the silent batch.
namespace simulation {

// The sizes of the ranges a turn's three numbers are drawn from.
inline constexpr int kHeatRange = 60;     // heat 0 to 59
inline constexpr int kLitersRange = 40;   // liters 1 to 40
inline constexpr int kSelectorRange = 5;  // selector 0 to 4

// The three numbers that decide one turn.
struct TurnDraws {
  int heat;
  int liters;
  int selector;
};

// The arithmetic of the two turn events the model has no operation for.
inline void addHeat(heat::MechHeatSystem& mech, int heat) {
  mech.pendingHeat += static_cast<double>(heat);
}

// Damages the heatsinks by 5 % per selector step, 5 % to 25 %, and returns
// the fraction of their capacity lost.
inline float damageHeatsinks(heat::MechHeatSystem& mech, int selector) {
  constexpr int kPercentPerStep = 5;
  const int percent = kPercentPerStep * (selector + 1);
  const auto fraction = static_cast<float>(static_cast<double>(percent) / 100.0);
  mech.heatsinkDamage += fraction;
  return fraction;
}

// One turn: adds the heat, then the environment, coolant and damage events
// the draws call for, then one cooling update. `Events` carries them out,
// narrated or silently, with the members addHeat(heat), moveTo(environment),
// useCoolant(liters), damageHeatsinks(selector) and updateCooling().
//
// The selector has three uses: it names the environment a move goes to (the
// cast relies on the enumerators being numbered 0 to 4 in selector order),
// it decides whether coolant is drawn, and it sets how much damage is done.
template <typename Events>
void playTurn(Events& events, const TurnDraws& draws) {
  constexpr int kMaxLitersForMove = 10;
  constexpr int kMaxSelectorForCoolant = 2;
  constexpr int kMinHeatForDamage = 41;
  events.addHeat(draws.heat);
  if (draws.liters <= kMaxLitersForMove) {
    events.moveTo(static_cast<heat::Environment>(draws.selector));
  }
  if (draws.selector <= kMaxSelectorForCoolant) {
    events.useCoolant(draws.liters);
  }
  if (draws.heat >= kMinHeatForDamage) {
    events.damageHeatsinks(draws.selector);
  }
  events.updateCooling();
}

// The turn's events carried out by the model's silent steps, printing nothing.
struct SilentEvents {
  heat::MechHeatSystem& mech;

  void addHeat(int heat) const { simulation::addHeat(mech, heat); }
  void moveTo(heat::Environment environment) const { mech.enterEnvironment(environment); }
  void useCoolant(int liters) const { static_cast<void>(mech.drawCoolant(liters)); }
  void damageHeatsinks(int selector) const {
    static_cast<void>(simulation::damageHeatsinks(mech, selector));
  }
  void updateCooling() const { mech.cool(); }
};

}  // namespace simulation
