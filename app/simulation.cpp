#include "simulation.hpp"

#include <cstdlib>
#include <ctime>
#include <iostream>

namespace simulation {
namespace {

constexpr int kHeatDraws = 60;
constexpr int kLiterDraws = 40;
constexpr int kSelectorDraws = 5;
constexpr int kMaxLitersForMove = 10;
constexpr int kMaxSelectorForCoolant = 2;
constexpr int kMinHeatForDamage = 41;
constexpr int kDamagePercentPerStep = 5;

void addHeat(heat::MechHeatSystem& mech, int heat) {
  mech.pendingHeat += static_cast<double>(heat);
  std::cout << "Adding heat: " << static_cast<double>(heat) << std::endl;
}

void damageHeatsinks(heat::MechHeatSystem& mech, int selector) {
  const int percent = kDamagePercentPerStep * (selector + 1);
  const auto fraction = static_cast<float>(static_cast<double>(percent) / 100.0);
  mech.heatsinkDamage += fraction;
  std::cout << "Heatsinks damaged by " << static_cast<float>(static_cast<double>(fraction) * 100.0)
            << " %" << std::endl;
}

}  // namespace

RandomSource clockSeededRand() {
  // The seed is the time in whole seconds, truncated to the generator's width:
  // runs started in different seconds differ, which is all the randomness a
  // simulation of random turns needs.
  const auto seedFromClock = [] {
    std::srand(static_cast<unsigned>(std::time(nullptr)));  // NOLINT(cert-msc32-c,cert-msc51-cpp)
  };
  const auto next = [] { return std::rand(); };  // NOLINT(cert-msc30-c,cert-msc50-cpp)
  return RandomSource{seedFromClock, next};
}

TurnDraws drawTurn(const std::function<int()>& next) {
  // Separate statements: the order of the draws is part of the behaviour.
  const int heat = next() % kHeatDraws;
  const int liters = next() % kLiterDraws + 1;
  const int selector = next() % kSelectorDraws;
  return TurnDraws{heat, liters, selector};
}

void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws) {
  addHeat(mech, draws.heat);
  if (draws.liters <= kMaxLitersForMove) {
    mech.setEnvironment(static_cast<heat::Environment>(draws.selector));
  }
  if (draws.selector <= kMaxSelectorForCoolant) {
    mech.useCoolant(draws.liters);
  }
  if (draws.heat >= kMinHeatForDamage) {
    damageHeatsinks(mech, draws.selector);
  }
  mech.updateCooling();
}

void run(heat::MechHeatSystem& mech, const RandomSource& random) {
  mech.printStatusReport();
  random.seed();
  for (int turn = 0; turn < kTurnCount; ++turn) {
    playTurn(mech, drawTurn(random.next));
  }
  mech.printStatusReport();
}

}  // namespace simulation
