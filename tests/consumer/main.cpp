// One cooling update of a new mech that took 45 heat: ten single heatsinks
// shed 10, so the heat level becomes 35.
#include <heat/mech_heat_system.hpp>

int main() {
  heat::MechHeatSystem mech;
  mech.pendingHeat += 45.0;
  mech.updateCooling();
  return mech.totalHeat == 35.0 ? 0 : 1;
}
