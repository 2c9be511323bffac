#pragma once

#include <iosfwd>

#include "heat/environment.hpp"
#include "heat/mech_heat_system.hpp"

// The rules of one turn, the same for a narrated run and a silent batch.
namespace simulation {

// How many turns a run has unless told otherwise.
inline constexpr int kDefaultTurnCount = 10;

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

// When a turn's events happen. The selector has three uses: it names the
// environment a move goes to (the enumerators are numbered 0 to 4 in selector
// order), it decides whether coolant is drawn, and it sets how much damage
// is done.
[[nodiscard]] constexpr bool movesEnvironment(const TurnDraws& draws) { return draws.liters <= 10; }
[[nodiscard]] constexpr bool drawsCoolant(const TurnDraws& draws) { return draws.selector <= 2; }
[[nodiscard]] constexpr bool damagesHeatsinks(const TurnDraws& draws) { return draws.heat > 40; }

// The environment a move goes to.
[[nodiscard]] constexpr heat::Environment destination(const TurnDraws& draws) {
  return static_cast<heat::Environment>(draws.selector);
}

// Adds a turn's heat to what the next cooling update takes up.
inline void addHeat(heat::MechHeatSystem& mech, int heat) {
  mech.pendingHeat += static_cast<double>(heat);
}

// The damage a turn does: 5 % per selector step, 5 % to 25 %.
[[nodiscard]] constexpr int damagePercent(int selector) {
  constexpr int kPercentPerStep = 5;
  return kPercentPerStep * (selector + 1);
}
[[nodiscard]] constexpr int damagePercent(const TurnDraws& draws) {
  return damagePercent(draws.selector);
}

// Damages the heatsinks by damagePercent(selector) and returns the fraction
// of their capacity lost.
inline float damageHeatsinks(heat::MechHeatSystem& mech, int selector) {
  const int percent = damagePercent(selector);
  const auto fraction = static_cast<float>(static_cast<double>(percent) / 100.0);
  mech.heatsinkDamage += fraction;
  return fraction;
}

// One turn: adds the heat, then the environment, coolant and damage events
// the draws call for, then one cooling update. `Events` carries them out,
// narrated or silently, with the members addHeat(heat), moveTo(environment),
// useCoolant(liters), damageHeatsinks(selector) and updateCooling().
template <typename Events>
void playTurn(Events& events, const TurnDraws& draws) {
  events.addHeat(draws.heat);
  if (movesEnvironment(draws)) {
    events.moveTo(destination(draws));
  }
  if (drawsCoolant(draws)) {
    events.useCoolant(draws.liters);
  }
  if (damagesHeatsinks(draws)) {
    events.damageHeatsinks(draws.selector);
  }
  events.updateCooling();
}

// The turn's events carried out by the model's silent steps, printing nothing.
struct SilentEvents {
  heat::MechHeatSystem& mech;

  void addHeat(int heat) const { simulation::addHeat(mech, heat); }
  void moveTo(heat::Environment environment) const { mech.setEnvironmentSilently(environment); }
  void useCoolant(int liters) const { static_cast<void>(mech.useCoolantSilently(liters)); }
  void damageHeatsinks(int selector) const {
    static_cast<void>(simulation::damageHeatsinks(mech, selector));
  }
  void updateCooling() const { mech.updateCoolingSilently(); }
};

// The turn's events, each narrated on `out`.
struct NarratedEvents {
  heat::MechHeatSystem& mech;
  std::ostream& out;

  void addHeat(int heat) const;
  void moveTo(heat::Environment environment) const { mech.setEnvironment(environment, out); }
  void useCoolant(int liters) const { mech.useCoolant(liters, out); }
  void damageHeatsinks(int selector) const;
  void updateCooling() const { mech.updateCooling(out); }
};

// One turn played silently, or narrated on `out`.
inline void playTurnSilently(heat::MechHeatSystem& mech, const TurnDraws& draws) noexcept {
  const SilentEvents events{mech};
  playTurn(events, draws);
}
void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws, std::ostream& out);

}  // namespace simulation
