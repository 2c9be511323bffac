#include "heat/mech_heat_system.hpp"
#include "output.hpp"
#include "simulation.hpp"
#include "wait_for_key.hpp"

int main() {
  heat::MechHeatSystem mech;
  simulation::run(mech, simulation::clockSeededRand());
  // Nobody is asked for a key behind output that was lost.
  if (!outputWritten()) {
    return 1;
  }
  waitForKeyPress();
  return outputWritten() ? 0 : 1;
}
