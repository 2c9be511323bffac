// Simulated turns per second: one silent turn after another on one thread,
// and whole batches of the default mech on 1 and 2 threads.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "heat/mech_heat_system.hpp"
#include "simulation/batch.hpp"
#include "simulation/run_random.hpp"
#include "simulation/turn.hpp"

namespace {

constexpr int kTurnsPerRun = 10;

void silentTurns(benchmark::State& state) {
  const heat::MechHeatSystem start;
  heat::MechHeatSystem mech = start;
  const simulation::SilentEvents events{mech};
  batch::RunRandom random{1, 0};
  int turn = 0;
  while (state.KeepRunning()) {
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
  batch::Settings settings;
  settings.turns = kTurnsPerRun;
  settings.runs = 1'000'000;
  settings.jobs = static_cast<unsigned>(state.range(0));
  while (state.KeepRunning()) {
    benchmark::DoNotOptimize(batch::play(settings));
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

}  // namespace
