#pragma once

#include <functional>

#include "heat/mech_heat_system.hpp"

namespace simulation {

inline constexpr int kTurnCount = 10;

// Where a run's random numbers come from. The program seeds std::rand from
// the clock; tests script the numbers instead.
struct RandomSource {
  std::function<void()> seed;  // called once, after the first status report
  std::function<int()> next;   // a value from 0 to RAND_MAX, as std::rand gives
};

// std::rand, seeded with the calendar time in whole seconds.
[[nodiscard]] RandomSource clockSeededRand();

// The three numbers that decide one turn.
struct TurnDraws {
  int heat;      // 0 to 59
  int liters;    // 1 to 40
  int selector;  // 0 to 4
};

// Draws one turn's numbers, always exactly three, in the order heat, liters, selector.
[[nodiscard]] TurnDraws drawTurn(const std::function<int()>& next);

// One turn: adds the heat, then the environment, coolant and damage events
// the draws call for, then one cooling update.
void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws);

// The whole run: a status report, the seeding, ten turns, a final status report.
void run(heat::MechHeatSystem& mech, const RandomSource& random);

}  // namespace simulation
