#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "simulation/rules.hpp"
#include "simulation/turn.hpp"

// The narrated run: a status report, the turns with every event and rate, a
// final status report.
namespace simulation {

// Where a narrated run's turns come from.
struct TurnSource {
  std::function<void()> seed;       // called once, after the first status report
  std::function<TurnDraws()> draw;  // one turn's three numbers
};

// The calendar time in whole seconds, truncated to 32 bits: the seed of a
// run given none, so that runs started in different seconds differ.
[[nodiscard]] std::uint32_t clockSeed();

// Turns drawn as the remainders of a std::rand-like generator's values
// (0 to RAND_MAX), always exactly three a turn, heat, liters, selector:
// each the remainder by its range's size, from the range's start (a table's
// heat the first value whose running sum of weights is above it).
[[nodiscard]] TurnSource randTurns(std::function<void()> seed, std::function<int()> next,
                                   const Rules& rules);

// std::rand, seeded with `seed`, or without one with clockSeed() when the run
// is seeded, so that a seed replays the run of the second it names. The
// sequence is the platform's own.
[[nodiscard]] TurnSource platformTurns(std::optional<std::uint32_t> seed, const Rules& rules);

// The turns of run `run` of the batch with seed `batchSeed`, drawn by that
// run's own generator: the same on every platform.
[[nodiscard]] TurnSource batchRunTurns(std::uint32_t batchSeed, std::uint64_t run,
                                       const Rules& rules);

// What one turn of a narrated run did, for a chart of the run.
struct TurnRecord {
  double heat = 0.0;                         // after the turn's cooling update
  std::optional<heat::Environment> movedTo;  // where the turn moved the mech
  std::int32_t coolantDrawn = 0;             // liters
  int damagePercent = 0;                     // heatsink damage the turn did
};

// The whole run of `turns` turns by `rules`, narrated on `out`; what each
// turn did.
std::vector<TurnRecord> playNarratedRun(heat::MechHeatSystem& mech, int turns,
                                        const TurnSource& source, const Rules& rules,
                                        std::ostream& out = std::cout);

}  // namespace simulation
