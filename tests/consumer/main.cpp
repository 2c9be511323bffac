// Uses the installed libraries as an outside program would: one cooling
// update of a new mech that took 45 heat (ten single heatsinks shed 10, so
// the heat level becomes 35), then a batch, its summary, and its hottest run
// narrated alone, which must end at the heat the batch found for it.
#include <heat/mech_heat_system.hpp>
#include <iostream>
#include <reports/text_report.hpp>
#include <simulation/batch.hpp>
#include <simulation/narrated_run.hpp>
#include <sstream>

int main() {
  heat::MechHeatSystem mech;
  mech.pendingHeat += 45.0;
  mech.updateCooling();

  // The game's rules, with weapons that add up to 69 heat a turn.
  simulation::Rules rules;
  rules.heatMax = 69;
  const simulation::BatchSettings settings{heat::MechHeatSystem{},       12,   1'000, 42,
                                           simulation::kMaxChartedTurns, rules};
  const simulation::BatchResult batch = simulation::playBatch(settings);
  reports::printText(std::cout, batch);

  heat::MechHeatSystem hottest;
  std::ostringstream narration;
  simulation::playNarratedRun(
      hottest, settings.turns,
      simulation::batchRunTurns(settings.seed, batch.tally.hottest.run, settings.rules),
      settings.rules, narration);
  const bool replayed = hottest.totalHeat == batch.tally.hottest.finalHeat;
  return mech.totalHeat == 35.0 && replayed ? 0 : 1;
}
