// Simulated turns per second: one silent turn after another on one thread;
// a block of runs of the default mech with each engine the processor runs,
// the scalar one among them, by the game's rules and by changed ones; whole
// batches on 1 and 2 threads; and a sweep
// of 33 designs (8 to 40 heatsinks) of 100000 runs each.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "parallel_batch.hpp"
#include "simulation/batch.hpp"
#include "simulation/run_random.hpp"
#include "simulation/sweep.hpp"
#include "simulation/turn.hpp"

namespace {

constexpr int kTurnsPerRun = 10;

void silentTurns(benchmark::State& state) {
  const heat::MechHeatSystem start;
  heat::MechHeatSystem mech = start;
  const simulation::Rules rules;
  const simulation::SilentEvents events{mech, rules};
  const simulation::TurnRanges ranges{rules};
  simulation::RunRandom random{1, 0};
  int turn = 0;
  while (state.KeepRunning()) {
    simulation::playTurn(events, random.drawTurn(ranges));
    benchmark::DoNotOptimize(mech.totalHeat);
    if (++turn == kTurnsPerRun) {
      mech = start;
      turn = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(silentTurns);

// A block of the program's batch: 6553 runs of 10 turns, by the game's
// rules (rules:0) or with a hotter turn, a lower overheat level and a
// stronger coolant (rules:1). Items are turns; the time per item is the
// time per turn.
void engineTurns(benchmark::State& state) {
  const auto engine = static_cast<simulation::Engine>(state.range(0));
  state.SetLabel(std::string{simulation::kEngineNames.at(static_cast<std::size_t>(engine))});
  if (!simulation::engineAvailable(engine)) {
    state.SkipWithError("this processor does not run it");
    return;
  }
  simulation::BatchSettings settings{heat::MechHeatSystem{}, kTurnsPerRun, 6'553, 1};
  if (state.range(1) != 0) {
    settings.rules.heatMax = 69;
    settings.rules.cooling.overheatAbove = 50.0;
    settings.rules.cooling.perLiter = 3.0;
  }
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(simulation::playRuns(settings, 0, settings.runs, engine));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(settings.runs) *
                          kTurnsPerRun);
}
BENCHMARK(engineTurns)->ArgNames({"engine", "rules"})->ArgsProduct({{0, 1, 2, 3}, {0, 1}});

void wholeBatch(benchmark::State& state) {
  const simulation::BatchSettings settings{heat::MechHeatSystem{}, kTurnsPerRun, 1'000'000, 1};
  const auto jobs = static_cast<unsigned>(state.range(0));
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(playInParallel(settings, jobs));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(settings.runs) *
                          kTurnsPerRun);
}
BENCHMARK(wholeBatch)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 33 designs on every core; with versus, each compared run by run with the
// first, as --versus heatsinks=8 does.
void sweep(benchmark::State& state) {
  simulation::SweepSettings settings{{}, kTurnsPerRun, 100'000, 1, {}, {}};
  for (int heatsinks = 8; heatsinks <= 40; ++heatsinks) {
    heat::MechHeatSystem mech;
    mech.heatsinkCount = heatsinks;
    settings.designs.emplace_back(mech);
  }
  if (state.range(1) != 0) {
    settings.versus =
        simulation::Versus{"heatsinks", "8", std::vector<std::size_t>(settings.designs.size(), 0)};
  }
  const auto jobs = static_cast<unsigned>(state.range(0));
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(simulation::playSweep(settings, parallelPlayer(jobs)));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(settings.runs) *
                          static_cast<std::int64_t>(settings.designs.size()) * kTurnsPerRun);
}
BENCHMARK(sweep)
    ->ArgNames({"jobs", "versus"})
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
