// The vector engine, compiled once for each instruction set with
// MECH_HEAT_TARGET naming it. Plain C++ that the compiler vectorises: every
// loop over the lanes does what the scalar engine does for one run, with the
// same operations on the same types in the same order, so that each lane's
// numbers are those of its run, bit for bit (RunRandom in run_random.hpp,
// the model's silent steps in heat/src/, playRun in batch.cpp).
//
// Nothing here calls an inline function of another file, not even of the
// standard library: see vector_engine.hpp.

#include "vector_engine.hpp"

#ifndef MECH_HEAT_TARGET
#error "MECH_HEAT_TARGET must name the instruction set this file is compiled for"
#endif

// The lanes are indexed by the loops the compiler vectorises, the records of
// vector_engine.hpp hold plain arrays and pointers: std::array's operator[]
// or std::span would be inline functions shared with other files.
// NOLINTBEGIN(cppcoreguidelines-pro-bounds-constant-array-index,cppcoreguidelines-pro-bounds-pointer-arithmetic)
namespace simulation::MECH_HEAT_TARGET {
namespace {

using lanes::Histogram;
using lanes::Job;
using lanes::kLanes;
using lanes::TurnLanes;

// RunRandom's: PCG32, seeded through SplitMix64; a turn drawn from one output.
constexpr std::uint64_t kMultiplier = 6364136223846793005U;
constexpr std::uint32_t kAllDraws = 60U * 40U * 5U;
constexpr std::uint32_t kBiasedRemainders = (0U - kAllDraws) % kAllDraws;

// The model's (heat/src/cooling.cpp).
constexpr double kCoolingPerLiter = 2.0;
constexpr double kHeatFloor = 0.0;
constexpr double kOverheatLevel = 60.0;
constexpr double kCriticalLevel = 100.0;
// A turn's (simulation/turn.hpp): when it moves, draws coolant, damages.
constexpr std::uint32_t kMostLitersToMove = 10;
constexpr std::uint32_t kLastSelectorToDraw = 2;
constexpr std::uint32_t kLeastHeatToDamage = 41;

constexpr std::uint64_t splitMix64(std::uint64_t value) {
  value += 0x9e3779b97f4a7c15U;
  value = (value ^ (value >> 30U)) * 0xbf58476d1ce4e5b9U;
  value = (value ^ (value >> 27U)) * 0x94d049bb133111ebU;
  return value ^ (value >> 31U);
}

std::uint32_t output(std::uint64_t old) {
  const auto shuffled = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
  const auto rotation = static_cast<std::uint32_t>(old >> 59U);
  return (shuffled >> rotation) | (shuffled << ((32U - rotation) & 31U));
}

// The number below `range` taken from the high half of fraction * range,
// the fraction left in its low half.
std::uint32_t take(std::uint32_t& fraction, std::uint32_t range) {
  const std::uint64_t product = std::uint64_t{fraction} * range;
  fraction = static_cast<std::uint32_t>(product);
  return static_cast<std::uint32_t>(product >> 32U);
}

double smaller(double a, double b) { return b < a ? b : a; }

// The liters a turn draws: none from an empty tank, the smaller of the two.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the draws in their order
std::int32_t coolantUsed(std::uint32_t selector, std::uint32_t liters, std::int32_t coolant) {
  const auto wanted = static_cast<std::int32_t>(liters);
  return selector <= kLastSelectorToDraw ? (wanted < coolant ? wanted : coolant) : 0;
}

// What each lane's run carries from turn to turn.
struct Runs {
  alignas(64) std::uint64_t random[kLanes];
  alignas(64) std::uint64_t increment[kLanes];
  alignas(64) double heat[kLanes];
  alignas(64) float damage[kLanes];
  alignas(64) float factor[kLanes];
  alignas(64) std::int32_t coolant[kLanes];
  alignas(64) std::uint64_t overheated[kLanes];
  alignas(64) std::uint64_t critical[kLanes];
  alignas(64) std::uint64_t everOverheated[kLanes];
  alignas(64) std::uint64_t everCritical[kLanes];
};

// A turn's draws in each lane, and the generator's state before them.
struct Draws {
  alignas(64) std::uint64_t before[kLanes];
  alignas(64) std::uint32_t heat[kLanes];
  alignas(64) std::uint32_t liters[kLanes];
  alignas(64) std::uint32_t selector[kLanes];
  alignas(64) std::uint32_t fraction[kLanes];
};

// Whether any lane's draws are biased and must be drawn again.
bool draw(Runs& runs, Draws& draws) {
  std::uint32_t biased = 0;
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const std::uint64_t old = runs.random[lane];
    runs.random[lane] = old * kMultiplier + runs.increment[lane];
    draws.before[lane] = old;
    std::uint32_t fraction = output(old);
    draws.heat[lane] = take(fraction, 60);
    draws.liters[lane] = take(fraction, 40) + 1;
    draws.selector[lane] = take(fraction, 5);
    draws.fraction[lane] = fraction;
    biased |= fraction < kBiasedRemainders ? 1U : 0U;
  }
  return biased != 0;
}

// The lane's turn drawn again from the start, one output after another, as
// RunRandom does.
void redraw(Runs& runs, Draws& draws, std::size_t lane) {
  std::uint64_t state = draws.before[lane];
  for (;;) {
    const std::uint64_t old = state;
    state = old * kMultiplier + runs.increment[lane];
    std::uint32_t fraction = output(old);
    const std::uint32_t heat = take(fraction, 60);
    const std::uint32_t liters = take(fraction, 40) + 1;
    const std::uint32_t selector = take(fraction, 5);
    if (fraction >= kBiasedRemainders) {
      draws.heat[lane] = heat;
      draws.liters[lane] = liters;
      draws.selector[lane] = selector;
      runs.random[lane] = state;
      return;
    }
  }
}

// The bin of `heat` in a histogram with LinearBinsPerUnit bins per heat unit
// below 64 and 2^BinBitsPerDoubling bins per doubling above
// (heat_histogram.cpp), without branches.
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
std::uint64_t binOf(double heat) {
  constexpr double kLinearEnd = 64.0;
  constexpr int kDroppedBits = 52 - BinBitsPerDoubling;
  constexpr std::uint64_t kLinear = std::uint64_t{64} * LinearBinsPerUnit;
  constexpr std::uint64_t kLogarithmicStart =
      __builtin_bit_cast(std::uint64_t, kLinearEnd) >> kDroppedBits;
  const std::uint64_t linear =
      1 + static_cast<std::uint64_t>(static_cast<std::int32_t>(
              smaller(heat, kLinearEnd) * static_cast<double>(LinearBinsPerUnit)));
  const std::uint64_t logarithmic =
      1 + kLinear + ((__builtin_bit_cast(std::uint64_t, heat) >> kDroppedBits) - kLogarithmicStart);
  return heat <= 0.0 ? 0 : (heat < kLinearEnd ? linear : logarithmic);
}

// The heats of the first `lanes` lanes counted in a histogram.
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
void addHeats(Histogram& histogram, const double (&heat)[kLanes], std::size_t lanes) {
  alignas(64) std::uint64_t bins[kLanes];
  // The largest heat's bin is the largest bin; a heat's bits grow with it.
  std::uint64_t top = 0;
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const double value = heat[lane];
    bins[lane] = binOf<LinearBinsPerUnit, BinBitsPerDoubling>(value);
    const bool counted = lane < lanes;
    const std::uint64_t bits = counted ? __builtin_bit_cast(std::uint64_t, value) : 0;
    top = bits > top ? bits : top;
    const double low = histogram.min[lane];
    const double high = histogram.max[lane];
    histogram.min[lane] = (counted & (value < low)) ? value : low;
    histogram.max[lane] = (counted & (high < value)) ? value : high;
  }
  const std::uint64_t topBin =
      binOf<LinearBinsPerUnit, BinBitsPerDoubling>(__builtin_bit_cast(double, top));
  if (topBin >= histogram.size) {
    histogram.grow(histogram, topBin);
  }
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    ++histogram.bins[bins[lane]];
  }
}

struct Tables {
  std::uint64_t mixedSeed;
  float factors[lanes::kEnvironmentCount];
  float damage[lanes::kSelectorCount];
};

// One turn of every lane, its first `lanes` lanes counted.
template <bool kFull>
void playTurn(const Job& job, const Tables& tables, Runs& runs, const Draws& draws, TurnLanes& turn,
              std::size_t rest) {
  const std::size_t lanes = kFull ? kLanes : rest;
  alignas(64) double heat[kLanes];
  alignas(64) double squares[kLanes];
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const std::uint32_t drawnHeat = draws.heat[lane];
    const std::uint32_t liters = draws.liters[lane];
    const std::uint32_t selector = draws.selector[lane];
    // Both looked up in every lane, so that the compiler gathers them in one go.
    const float destinationFactor = tables.factors[selector];
    const float damageDone = tables.damage[selector];
    const float factor = liters <= kMostLitersToMove ? destinationFactor : runs.factor[lane];
    runs.factor[lane] = factor;
    const std::int32_t used = coolantUsed(selector, liters, runs.coolant[lane]);
    runs.coolant[lane] -= used;
    // -0 when nothing is drawn, where the model keeps +0: the same rate.
    const double coolantCooling = -kCoolingPerLiter * static_cast<double>(used);
    const float damage =
        drawnHeat >= kLeastHeatToDamage ? runs.damage[lane] + damageDone : runs.damage[lane];
    runs.damage[lane] = damage;
    const double heatsinkCooling =
        ((1.0 - static_cast<double>(damage)) * job.heatsinkCount) * job.heatsinkMultiplier;
    const double cooling = static_cast<double>(factor) * (coolantCooling - heatsinkCooling);
    const double rate = static_cast<double>(drawnHeat) + cooling;
    double total = runs.heat[lane] + static_cast<double>(static_cast<float>(rate));
    total = total < kHeatFloor ? kHeatFloor : total;
    runs.heat[lane] = total;
    const std::uint64_t overheated = total > kOverheatLevel ? 1 : 0;
    const std::uint64_t critical =
        overheated != 0 ? (total > kCriticalLevel ? 1 : 0) : runs.critical[lane];
    runs.critical[lane] = critical;
    const std::uint64_t everOverheated = runs.everOverheated[lane] | overheated;
    const std::uint64_t everCritical = runs.everCritical[lane] | critical;
    runs.everOverheated[lane] = everOverheated;
    runs.everCritical[lane] = everCritical;
    const std::uint64_t counted = kFull || lane < rest ? 1 : 0;
    turn.overheated[lane] += overheated & counted;
    turn.critical[lane] += critical & counted;
    turn.coolantEmpty[lane] += runs.coolant[lane] == 0 ? counted : 0;
    turn.everOverheated[lane] += everOverheated & counted;
    turn.everCritical[lane] += everCritical & counted;
    heat[lane] = total;
    squares[lane] = total * total;
  }
  // The sums in run order.
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    turn.heatSum += heat[lane];
    turn.heatSquares += squares[lane];
  }
  if (turn.chart != nullptr) {
    addHeats<1, 5>(*turn.chart, heat, lanes);
  }
}

// Runs group .. group + kLanes - 1, the first `lanes` of them counted.
template <bool kFull>
void playGroup(Job& job, const Tables& tables, std::uint64_t group) {
  const auto rest = static_cast<std::size_t>(job.end - group);
  const std::size_t lanes = kFull ? kLanes : rest;
  Runs runs{};
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const std::uint64_t run = group + lane;
    const std::uint64_t increment = (run << 1U) | 1U;
    runs.increment[lane] = increment;
    const std::uint64_t state = increment + splitMix64(tables.mixedSeed + run);
    runs.random[lane] = state * kMultiplier + increment;
    runs.heat[lane] = job.totalHeat;
    runs.damage[lane] = job.heatsinkDamage;
    runs.factor[lane] = job.baseCoolingFactor;
    runs.coolant[lane] = job.coolantLiters;
    runs.overheated[lane] = job.overheated ? 1 : 0;
    runs.critical[lane] = job.criticalTemperature ? 1 : 0;
    runs.everOverheated[lane] = 0;
    runs.everCritical[lane] = 0;
  }
  Draws draws{};
  for (std::size_t turn = 0; turn < job.turnCount; ++turn) {
    if (draw(runs, draws)) {
      for (std::size_t lane = 0; lane < kLanes; ++lane) {
        if (draws.fraction[lane] < kBiasedRemainders) {
          redraw(runs, draws, lane);
        }
      }
    }
    playTurn<kFull>(job, tables, runs, draws, job.turns[turn], rest);
  }
  addHeats<16, 10>(*job.finalHeat, runs.heat, lanes);
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    if (runs.heat[lane] > job.hottestHeat) {
      job.hottestHeat = runs.heat[lane];
      job.hottestRun = group + lane;
    }
  }
}

}  // namespace

void playLanes(Job& job) {
  Tables tables{};
  tables.mixedSeed = splitMix64(job.seed);
  for (std::size_t entry = 0; entry < lanes::kEnvironmentCount; ++entry) {
    tables.factors[entry] = job.factors[entry];
  }
  for (std::size_t entry = 0; entry < lanes::kSelectorCount; ++entry) {
    tables.damage[entry] = job.damage[entry];
  }
  std::uint64_t group = job.first;
  for (; job.end - group >= kLanes; group += kLanes) {
    playGroup<true>(job, tables, group);
  }
  if (group < job.end) {
    playGroup<false>(job, tables, group);
  }
}

}  // namespace simulation::MECH_HEAT_TARGET
// NOLINTEND(cppcoreguidelines-pro-bounds-constant-array-index,cppcoreguidelines-pro-bounds-pointer-arithmetic)
