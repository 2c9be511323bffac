#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "heat/environment.hpp"
#include "heat/mech_heat_system.hpp"
#include "simulation/rules.hpp"

// The rules of one turn, the same for a narrated run and a silent batch.
namespace simulation {

// How many turns a run has unless told otherwise.
inline constexpr int kDefaultTurnCount = 10;

// The three numbers that decide one turn.
struct TurnDraws {
  int heat;
  int liters;
  int selector;
};

// How many values the selector takes, one for each environment.
inline constexpr std::uint32_t kSelectorRange = 5;

// The ranges a turn's numbers are drawn from under a set of rules: heat,
// liters and selector, each a whole number from 0 to below its size, and
// how each becomes the turn's number.
struct TurnRanges {
  explicit TurnRanges(const Rules& rules);

  std::array<std::uint32_t, 3> sizes;  // heat, liters, selector
  // The numbers drawn from one 32-bit output, first to end, as many as its
  // range holds, and the remainders below which that output is drawn again
  // (2^32 modulo the product of their sizes): one output for all three
  // unless the sizes' product is above 2^32.
  struct Output {
    std::size_t first;
    std::size_t end;
    std::uint32_t biasedBelow;
  };
  std::array<Output, 3> outputs;
  std::size_t outputCount = 0;
  std::int32_t heatMin;
  std::int32_t litersMin;
  // With a table of heats: each value, and the running sums of the weights.
  std::vector<std::int32_t> heatValues;
  std::vector<std::uint32_t> heatWeightsThrough;

  // The turn whose numbers have these indices in their ranges.
  [[nodiscard]] TurnDraws draws(std::uint32_t heat, std::uint32_t liters,
                                std::uint32_t selector) const {
    return TurnDraws{heatOf(heat), litersMin + static_cast<int>(liters),
                     static_cast<int>(selector)};
  }
  // The heat of index `index`: from heatMin up, or in a table the first
  // value whose running sum of weights is above it.
  [[nodiscard]] int heatOf(std::uint32_t index) const {
    if (heatValues.empty()) {
      return heatMin + static_cast<int>(index);
    }
    const auto above = std::ranges::upper_bound(heatWeightsThrough, index);  // GCOVR_EXCL_BR_LINE
    return heatValues[static_cast<std::size_t>(above - heatWeightsThrough.begin())];
  }
};

// When a turn's events happen. The selector has three uses: it names the
// environment a move goes to (the enumerators are numbered 0 to 4 in selector
// order), it decides whether coolant is drawn, and it sets how much damage
// is done.
[[nodiscard]] inline bool movesEnvironment(const TurnDraws& draws, const Rules& rules) {
  return draws.liters <= rules.moveAtMost;
}
[[nodiscard]] inline bool drawsCoolant(const TurnDraws& draws, const Rules& rules) {
  return draws.selector <= rules.coolantAtMost;
}
[[nodiscard]] inline bool damagesHeatsinks(const TurnDraws& draws, const Rules& rules) {
  return draws.heat > rules.damageAbove;
}

// The environment a move goes to.
[[nodiscard]] constexpr heat::Environment destination(const TurnDraws& draws) {
  return static_cast<heat::Environment>(draws.selector);
}

// Adds a turn's heat to what the next cooling update takes up.
inline void addHeat(heat::MechHeatSystem& mech, int heat) {
  mech.pendingHeat += static_cast<double>(heat);
}

// The damage a turn does: the rules' percent per selector step, 5 % to 25 %
// by default.
[[nodiscard]] inline int damagePercent(int selector, const Rules& rules) {
  return rules.percentPerStep * (selector + 1);
}

// Damages the heatsinks by damagePercent(selector) and returns the fraction
// of their capacity lost.
inline float damageHeatsinks(heat::MechHeatSystem& mech, int selector, const Rules& rules) {
  const int percent = damagePercent(selector, rules);
  const auto fraction = static_cast<float>(static_cast<double>(percent) / 100.0);
  mech.heatsinkDamage += fraction;
  return fraction;
}

// One turn: adds the heat, then the environment, coolant and damage events
// the draws call for, then one cooling update, all by the rules of
// `events.rules`. `Events` carries them out, narrated or silently, with the
// members addHeat(heat), moveTo(environment), useCoolant(liters),
// damageHeatsinks(selector) and updateCooling().
template <typename Events>
void playTurn(Events& events, const TurnDraws& draws) {
  events.addHeat(draws.heat);
  if (movesEnvironment(draws, events.rules)) {
    events.moveTo(destination(draws));
  }
  if (drawsCoolant(draws, events.rules)) {
    events.useCoolant(draws.liters);
  }
  if (damagesHeatsinks(draws, events.rules)) {
    events.damageHeatsinks(draws.selector);
  }
  events.updateCooling();
}

// The turn's events carried out by the model's silent steps, printing nothing.
struct SilentEvents {
  heat::MechHeatSystem& mech;
  const Rules& rules;

  void addHeat(int heat) const { simulation::addHeat(mech, heat); }
  void moveTo(heat::Environment environment) const {
    mech.setEnvironmentSilently(environment, rules.cooling);
  }
  void useCoolant(int liters) const {
    static_cast<void>(mech.useCoolantSilently(liters, rules.cooling));
  }
  void damageHeatsinks(int selector) const {
    static_cast<void>(simulation::damageHeatsinks(mech, selector, rules));
  }
  void updateCooling() const { mech.updateCoolingSilently(rules.cooling); }
};

// The turn's events, each narrated on `out`.
struct NarratedEvents {
  heat::MechHeatSystem& mech;
  std::ostream& out;
  const Rules& rules;

  void addHeat(int heat) const;
  void moveTo(heat::Environment environment) const {
    mech.setEnvironment(environment, out, rules.cooling);
  }
  void useCoolant(int liters) const { mech.useCoolant(liters, out, rules.cooling); }
  void damageHeatsinks(int selector) const;
  void updateCooling() const { mech.updateCooling(out, rules.cooling); }
};

// One turn played silently, or narrated on `out`.
inline void playTurnSilently(heat::MechHeatSystem& mech, const TurnDraws& draws,
                             const Rules& rules) noexcept {
  const SilentEvents events{mech, rules};
  playTurn(events, draws);
}
void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws, const Rules& rules,
              std::ostream& out);

}  // namespace simulation
