#include "heat/mech_heat_system.hpp"
#include "simulation.hpp"
#include "wait_for_key.hpp"

int main() {
  heat::MechHeatSystem mech;
  simulation::run(mech, simulation::clockSeededRand());
  waitForKeyPress();
  return 0;
}
