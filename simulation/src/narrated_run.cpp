#include "simulation/narrated_run.hpp"

#include <cstdlib>
#include <ctime>
#include <memory>
#include <ostream>
#include <utility>

#include "simulation/run_random.hpp"

namespace simulation {

void NarratedEvents::addHeat(int heat) const {
  simulation::addHeat(mech, heat);
  out << "Adding heat: " << static_cast<double>(heat) << std::endl;
}

void NarratedEvents::damageHeatsinks(int selector) const {
  const float fraction = simulation::damageHeatsinks(mech, selector);
  out << "Heatsinks damaged by " << static_cast<float>(static_cast<double>(fraction) * 100.0)
      << " %" << std::endl;
}

void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws, std::ostream& out) {
  const NarratedEvents events{mech, out};
  playTurn(events, draws);
}

std::uint32_t clockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

TurnSource randTurns(std::function<void()> seed, std::function<int()> next) {
  return TurnSource{std::move(seed), [next = std::move(next)] {
                      // Separate statements: the order of the draws is part of the behaviour.
                      const int heat = next() % kHeatRange;
                      const int liters = next() % kLitersRange + 1;
                      const int selector = next() % kSelectorRange;
                      return TurnDraws{heat, liters, selector};
                    }};
}

TurnSource platformTurns(std::optional<std::uint32_t> seed) {
  // The clock is read when the run is seeded, after the first status report.
  return randTurns([seed] { std::srand(seed.value_or(clockSeed())); },  // NOLINT(cert-msc51-cpp)
                   [] { return std::rand(); });  // NOLINT(cert-msc30-c,cert-msc50-cpp)
}

TurnSource batchRunTurns(std::uint32_t batchSeed, std::uint64_t run) {
  auto random = std::make_shared<RunRandom>(batchSeed, run);
  return TurnSource{[] {}, [random] { return random->drawTurn(); }};
}

std::vector<TurnRecord> playNarratedRun(heat::MechHeatSystem& mech, int turns,
                                        const TurnSource& source, std::ostream& out) {
  std::vector<TurnRecord> record;
  record.reserve(static_cast<std::size_t>(turns));
  mech.printStatusReport(out);
  source.seed();
  for (int turn = 0; turn < turns; ++turn) {
    const TurnDraws draws = source.draw();
    const std::int32_t litersBefore = mech.coolantLiters;
    playTurn(mech, draws, out);
    record.push_back(TurnRecord{
        mech.totalHeat, movesEnvironment(draws) ? std::optional{destination(draws)} : std::nullopt,
        litersBefore - mech.coolantLiters, damagesHeatsinks(draws) ? damagePercent(draws) : 0});
  }
  mech.printStatusReport(out);
  return record;
}

}  // namespace simulation
