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
  const float fraction = simulation::damageHeatsinks(mech, selector, rules);
  out << "Heatsinks damaged by " << static_cast<float>(static_cast<double>(fraction) * 100.0)
      << " %" << std::endl;
}

void playTurn(heat::MechHeatSystem& mech, const TurnDraws& draws, const Rules& rules,
              std::ostream& out) {
  const NarratedEvents events{mech, out, rules};
  playTurn(events, draws);
}

std::uint32_t clockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

TurnSource randTurns(std::function<void()> seed, std::function<int()> next, const Rules& rules) {
  return TurnSource{std::move(seed), [next = std::move(next), ranges = TurnRanges{rules}] {
                      // Separate statements: the order of the draws is part of the behaviour.
                      const auto remainder = [&](std::uint32_t size) {
                        return static_cast<std::uint32_t>(next()) % size;
                      };
                      const std::uint32_t heat = remainder(ranges.sizes[0]);
                      const std::uint32_t liters = remainder(ranges.sizes[1]);
                      const std::uint32_t selector = remainder(ranges.sizes[2]);
                      return ranges.draws(heat, liters, selector);
                    }};
}

TurnSource platformTurns(std::optional<std::uint32_t> seed, const Rules& rules) {
  // The clock is read when the run is seeded, after the first status report.
  return randTurns([seed] { std::srand(seed.value_or(clockSeed())); },  // NOLINT(cert-msc51-cpp)
                   [] { return std::rand(); },  // NOLINT(cert-msc30-c,cert-msc50-cpp)
                   rules);  // GCOVR_EXCL_BR_LINE: the clean-up of its functions, were it to throw
}

TurnSource batchRunTurns(std::uint32_t batchSeed, std::uint64_t run, const Rules& rules) {
  auto random = std::make_shared<RunRandom>(batchSeed, run);
  // GCOVR_EXCL_START: the clean-up of its functions, were it to throw
  return TurnSource{[] {},
                    [random, ranges = TurnRanges{rules}] { return random->drawTurn(ranges); }};
}
// GCOVR_EXCL_STOP

std::vector<TurnRecord> playNarratedRun(heat::MechHeatSystem& mech, int turns,
                                        const TurnSource& source, const Rules& rules,
                                        std::ostream& out) {
  std::vector<TurnRecord> record;
  record.reserve(static_cast<std::size_t>(turns));
  mech.printStatusReport(out);
  source.seed();
  for (int turn = 0; turn < turns; ++turn) {
    const TurnDraws draws = source.draw();
    const std::int32_t litersBefore = mech.coolantLiters;
    playTurn(mech, draws, rules, out);
    record.push_back(TurnRecord{
        mech.totalHeat,
        movesEnvironment(draws, rules) ? std::optional{destination(draws)} : std::nullopt,
        litersBefore - mech.coolantLiters,
        damagesHeatsinks(draws, rules) ? damagePercent(draws.selector, rules) : 0});
  }
  mech.printStatusReport(out);
  return record;
}

}  // namespace simulation
