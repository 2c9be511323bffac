// Simulated turns per second: one silent turn after another on one thread,
// whole batches of the default mech on 1 and 2 threads, and a sweep of 33
// designs (8 to 40 heatsinks) of 100000 runs each.

#include <benchmark/benchmark.h>

#include <cstdint>
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
  const simulation::SilentEvents events{mech};
  simulation::RunRandom random{1, 0};
  int turn = 0;
  for (auto _ : state) {
    simulation::playTurn(events, random.drawTurn());
    benchmark::DoNotOptimize(mech.totalHeat);
    if (++turn == kTurnsPerRun) {
      mech = start;
      turn = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(silentTurns);

void wholeBatch(benchmark::State& state) {
  const simulation::BatchSettings settings{heat::MechHeatSystem{}, kTurnsPerRun, 1'000'000, 1};
  const auto jobs = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
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

void sweep(benchmark::State& state) {
  simulation::SweepSettings settings{{}, kTurnsPerRun, 100'000, 1, {}};
  for (int heatsinks = 8; heatsinks <= 40; ++heatsinks) {
    heat::MechHeatSystem mech;
    mech.heatsinkCount = heatsinks;
    settings.designs.push_back(mech);
  }
  const auto jobs = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(simulation::playSweep(settings, parallelPlayer(jobs)));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(settings.runs) *
                          static_cast<std::int64_t>(settings.designs.size()) * kTurnsPerRun);
}
BENCHMARK(sweep)->ArgName("jobs")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
