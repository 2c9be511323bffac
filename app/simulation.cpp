#include "simulation.hpp"

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "turn.hpp"

namespace simulation {
namespace {

// The turn's events, each narrated on std::cout.
struct NarratedEvents {
  heat::MechHeatSystem& mech;

  void addHeat(int heat) const {
    simulation::addHeat(mech, heat);
    std::cout << "Adding heat: " << static_cast<double>(heat) << std::endl;
  }
  void moveTo(heat::Environment environment) const { mech.setEnvironment(environment); }
  void useCoolant(int liters) const { mech.useCoolant(liters); }
  void damageHeatsinks(int selector) const {
    const float fraction = simulation::damageHeatsinks(mech, selector);
    std::cout << "Heatsinks damaged by "
              << static_cast<float>(static_cast<double>(fraction) * 100.0) << " %" << std::endl;
  }
  void updateCooling() const { mech.updateCooling(); }
};

// Draws one turn's numbers as the remainders of std::rand's values, always
// exactly three, in the order heat, liters, selector.
TurnDraws drawTurn(const std::function<int()>& next) {
  // Separate statements: the order of the draws is part of the behaviour.
  const int heat = next() % kHeatRange;
  const int liters = next() % kLitersRange + 1;
  const int selector = next() % kSelectorRange;
  return TurnDraws{heat, liters, selector};
}

}  // namespace

std::uint32_t clockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

RandomSource seededRand(std::optional<std::uint32_t> seed) {
  // The clock is read when the run is seeded, after the first status report.
  const auto seedRand = [seed] {
    std::srand(seed.value_or(clockSeed()));  // NOLINT(cert-msc32-c,cert-msc51-cpp)
  };
  const auto next = [] { return std::rand(); };  // NOLINT(cert-msc30-c,cert-msc50-cpp)
  return RandomSource{seedRand, next};
}

void run(heat::MechHeatSystem& mech, int turns, const RandomSource& random) {
  NarratedEvents events{mech};
  mech.printStatusReport();
  random.seed();
  for (int turn = 0; turn < turns; ++turn) {
    playTurn(events, drawTurn(random.next));
  }
  mech.printStatusReport();
}

}  // namespace simulation
