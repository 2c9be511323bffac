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

// std::rand, seeded with `seed`, or without one with the calendar time in
// whole seconds, so that a seed replays the run of the second it names.
[[nodiscard]] RandomSource seededRand(std::optional<std::uint32_t> seed);

// The whole run: a status report, the seeding, `turns` narrated turns, a
// final status report.
void run(heat::MechHeatSystem& mech, int turns, const RandomSource& random);

}  // namespace simulation
