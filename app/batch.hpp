#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "heat_histogram.hpp"

// Many silent runs of one mech, and what they have in common.
namespace batch {

struct Settings {
  heat::MechHeatSystem mech;  // the starting mech of every run
  int turns = 10;
  std::uint64_t runs = 1;
  std::uint32_t seed = 0;
  unsigned jobs = 1;  // threads that play the runs
};

// How many runs were in each state right after one turn's cooling update.
struct TurnTally {
  std::uint64_t overheated = 0;
  std::uint64_t critical = 0;
  std::uint64_t coolantEmpty = 0;
  double heatSum = 0.0;  // of the heat levels
};

struct Result {
  Settings settings;
  std::vector<TurnTally> perTurn;  // one for each turn
  std::uint64_t everOverheated = 0;
  std::uint64_t everCritical = 0;
  HeatHistogram finalHeat;
};

// Called now and then from the thread that called play, with the runs done.
using Progress = std::function<void(std::uint64_t runsDone)>;

// Plays settings.runs runs of settings.turns turns each. The result is the
// same, bit for bit, for any number of jobs.
[[nodiscard]] Result play(const Settings& settings, const Progress& progress = {});

}  // namespace batch
