#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "heat/mech_heat_system.hpp"

// The narrated run.
namespace simulation {

inline constexpr int kDefaultTurnCount = 10;

// Where a run's random numbers come from. The program seeds std::rand; tests
// script the numbers instead.
struct RandomSource {
  std::function<void()> seed;  // called once, after the first status report
  std::function<int()> next;   // a value from 0 to RAND_MAX, as std::rand gives
};

// The calendar time in whole seconds, truncated to 32 bits: the seed of a
// run given none, so that runs started in different seconds differ, which is
// all the randomness a simulation of random turns needs.
[[nodiscard]] std::uint32_t clockSeed();

// std::rand, seeded with `seed`, or without one with clockSeed(), so that a
// seed replays the run of the second it names.
[[nodiscard]] RandomSource seededRand(std::optional<std::uint32_t> seed);

// The whole run: a status report, the seeding, `turns` narrated turns, a
// final status report.
void run(heat::MechHeatSystem& mech, int turns, const RandomSource& random);

}  // namespace simulation
