#include "simulation/batch.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "simulation/refuse.hpp"
#include "simulation/run_random.hpp"
#include "simulation/sweep.hpp"
#if MECH_HEAT_VECTOR_ENGINES
#include "vector_engine.hpp"
#endif

namespace simulation {
namespace {

// Runs are played in blocks of about this many turns.
constexpr std::uint64_t kTurnsPerBlock = 1U << 16U;

// What one undamaged heatsink of `type` sheds in a cooling update by
// `rules`, as the model's own cooling computes it.
double heatsinkCooling(heat::HeatsinkType type, const heat::CoolingRules& rules) {
  heat::MechHeatSystem probe;
  probe.heatsinkType = type;
  probe.heatsinkCount = 1;
  return -probe.computeHeatRateSilently(rules).cooling;
}

// Flattened: every step of a turn inlined into the loop over the turns.
// `charted` holds, for every turn, its index among the charted turns, or -1.
// Returns how the run ended.
struct RunEnd {
  std::uint8_t flags;  // of outcomeBit()s
  double heat;
};
[[gnu::flatten]] RunEnd playRun(const BatchSettings& settings, const TurnRanges& ranges,
                                std::uint64_t index, const std::vector<int>& charted,
                                BatchTally& tally) {
  heat::MechHeatSystem mech = settings.mech;
  const SilentEvents events{mech, settings.rules};
  RunRandom random{settings.seed, index};
  // Without branches: a flag is 0 or 1.
  unsigned everOverheated = 0;
  unsigned everCritical = 0;
  for (std::size_t turnIndex = 0; turnIndex < tally.perTurn.size(); ++turnIndex) {
    TurnTally& turn = tally.perTurn[turnIndex];
    playTurn(events, random.drawTurn(ranges));
    everOverheated |= static_cast<unsigned>(mech.overheated);
    everCritical |= static_cast<unsigned>(mech.criticalTemperature);
    turn.overheated += static_cast<unsigned>(mech.overheated);
    turn.critical += static_cast<unsigned>(mech.criticalTemperature);
    turn.coolantEmpty += static_cast<unsigned>(mech.coolantLiters == 0);
    turn.everOverheated += everOverheated;
    turn.everCritical += everCritical;
    turn.heatSum += mech.totalHeat;
    turn.heatSquares += mech.totalHeat * mech.totalHeat;
    if (const int chart = charted[turnIndex]; chart >= 0) {
      tally.turnHeat[static_cast<std::size_t>(chart)].add(mech.totalHeat);
    }
  }
  tally.finalHeat.add(mech.totalHeat);
  tally.damagedOut += static_cast<unsigned>(mech.heatsinkDamage > 1.0F);
  if (mech.totalHeat > tally.hottest.finalHeat) {
    tally.hottest = HottestRun{index, mech.totalHeat};
  }
  ++tally.runs;
  return {static_cast<std::uint8_t>(
              (everOverheated * outcomeBit(Outcome::EverOverheated)) |
              (everCritical * outcomeBit(Outcome::EverCritical)) |
              (static_cast<unsigned>(mech.overheated) * outcomeBit(Outcome::Overheated))),
          mech.totalHeat};
}

// Room for the outcomes of `runs` runs.
void makeRoom(RunOutcomes* outcomes, std::uint64_t runs) {
  if (outcomes != nullptr) {
    outcomes->flags.resize(static_cast<std::size_t>(runs));
    outcomes->finalHeat.resize(static_cast<std::size_t>(runs));
  }
}

// Plays runs [first, end) one after another.
BatchTally playScalar(const BatchSettings& settings, std::uint64_t first, std::uint64_t end,
                      RunOutcomes* outcomes) {
  BatchTally tally;
  const auto turns = static_cast<std::size_t>(settings.turns);
  tally.perTurn.resize(turns);
  std::vector<int> charted(turns, -1);
  const std::vector<int> chartedTurnNumbers = chartedTurns(settings);
  for (std::size_t chart = 0; chart < chartedTurnNumbers.size(); ++chart) {
    charted[static_cast<std::size_t>(chartedTurnNumbers[chart] - 1)] = static_cast<int>(chart);
  }
  tally.turnHeat.resize(chartedTurnNumbers.size());
  const TurnRanges ranges{settings.rules};
  makeRoom(outcomes, end - first);
  for (std::uint64_t run = first; run < end; ++run) {
    const RunEnd ended = playRun(settings, ranges, run, charted, tally);
    if (outcomes != nullptr) {
      const auto slot = static_cast<std::size_t>(run - first);
      outcomes->flags[slot] = ended.flags;
      outcomes->finalHeat[slot] = ended.heat;
    }
  }
  return tally;
}

#if MECH_HEAT_VECTOR_ENGINES

// Which engines the processor can run, in the order of Engine.
std::array<bool, kEngineNames.size()> processorEngines() {
#if defined(__wasm__)
  return {true, false, false, false, simd128::playLanes != nullptr};
#else
  __builtin_cpu_init();
#if defined(__clang__)  // which knows no names of levels
  return {true, __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("popcnt"),
          __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
              __builtin_cpu_supports("fma"),
          __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
              __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
              __builtin_cpu_supports("avx512cd"),
          false};
#else
  return {true, __builtin_cpu_supports("x86-64-v2") != 0, __builtin_cpu_supports("x86-64-v3") != 0,
          __builtin_cpu_supports("x86-64-v4") != 0, false};
#endif
#endif
}

// The vector engines play runs from a mech with nothing pending, at least a
// lane's worth of runs, and no longer than a block's turns: their tally
// takes memory for each turn.
bool playableInLanes(const BatchSettings& settings, std::uint64_t first, std::uint64_t end) {
  constexpr int kMostTurns = static_cast<int>(kTurnsPerBlock);
  return first + lanes::kLanes <= end && settings.turns <= kMostTurns &&
         settings.mech.pendingHeat == 0.0 && settings.mech.coolantCooling == 0.0;
}

// A turn's rules as the vector engines take them; the heat table is that of
// `ranges`, which must outlast them.
lanes::TurnRules turnRules(const Rules& rules, const TurnRanges& ranges) {
  lanes::TurnRules turn{{ranges.sizes[0], ranges.sizes[1], ranges.sizes[2]},
                        {},
                        static_cast<std::uint32_t>(ranges.outputCount),
                        ranges.heatMin,
                        ranges.litersMin,
                        ranges.heatValues.data(),
                        ranges.heatWeightsThrough.data(),
                        ranges.heatValues.size(),
                        rules.damageAbove,
                        rules.moveAtMost,
                        rules.coolantAtMost,
                        rules.cooling.perLiter,
                        rules.cooling.overheatAbove,
                        rules.cooling.criticalAbove};
  for (std::size_t output = 0; output < ranges.outputCount; ++output) {
    const TurnRanges::Output& numbers = ranges.outputs.at(output);
    std::span{turn.outputs}[output] =
        lanes::Output{static_cast<std::uint32_t>(numbers.first),
                      static_cast<std::uint32_t>(numbers.end), numbers.biasedBelow};
  }
  return turn;
}

template <typename Histogram>
void grow(lanes::Histogram& lanes, std::uint64_t bin) {
  auto& histogram = *static_cast<Histogram*>(lanes.owner);
  lanes.bins = histogram.binsThrough(static_cast<std::size_t>(bin));
  lanes.size = histogram.bins().size();
}

template <typename Histogram>
lanes::Histogram inLanes(Histogram& histogram) {
  lanes::Histogram lanes{nullptr, 0, &histogram, grow<Histogram>, {}, {}};
  std::ranges::fill(lanes.min, std::numeric_limits<double>::infinity());
  return lanes;
}

template <typename Histogram>
void addLanes(Histogram& histogram, const lanes::Histogram& lanes, std::uint64_t runs) {
  histogram.setCounted(runs, std::ranges::min(lanes.min), std::ranges::max(lanes.max));
}

// Plays runs [first, end) with a vector engine.
BatchTally playVector(const BatchSettings& settings, std::uint64_t first, std::uint64_t end,
                      void (*playLanes)(lanes::Job&), RunOutcomes* outcomes) {
  const heat::MechHeatSystem& mech = settings.mech;
  BatchTally tally;
  const auto turns = static_cast<std::size_t>(settings.turns);
  tally.perTurn.resize(turns);
  const std::vector<int> charted = chartedTurns(settings);
  tally.turnHeat.resize(charted.size());
  std::vector<lanes::Histogram> charts;
  charts.reserve(charted.size());
  std::vector<lanes::TurnLanes> turnLanes(turns);
  for (std::size_t chart = 0; chart < charted.size(); ++chart) {
    turnLanes[static_cast<std::size_t>(charted[chart] - 1)].chart =
        &charts.emplace_back(inLanes(tally.turnHeat[chart]));
  }
  lanes::Histogram finalHeat = inLanes(tally.finalHeat);
  const TurnRanges ranges{settings.rules};
  lanes::Job job{settings.seed,
                 first,
                 end,
                 turnRules(settings.rules, ranges),
                 mech.totalHeat,
                 mech.heatsinkDamage,
                 mech.baseCoolingFactor,
                 mech.coolantLiters,
                 mech.criticalTemperature,
                 static_cast<double>(mech.heatsinkCount),
                 heatsinkCooling(mech.heatsinkType, settings.rules.cooling),
                 {},
                 {},
                 turnLanes.data(),
                 turns,
                 &finalHeat,
                 tally.hottest.run,
                 tally.hottest.finalHeat,
                 0,
                 nullptr,
                 nullptr};
  makeRoom(outcomes, end - first);
  if (outcomes != nullptr) {
    job.outcomeFlags = outcomes->flags.data();
    job.outcomeHeat = outcomes->finalHeat.data();
  }
  // Each selector's destination and damage, as the model's own steps give them.
  std::array<float, lanes::kSelectorCount> factors{};
  std::array<float, lanes::kSelectorCount> damage{};
  for (std::size_t selector = 0; selector < lanes::kSelectorCount; ++selector) {
    const TurnDraws draws{0, 0, static_cast<int>(selector)};
    factors.at(selector) = settings.rules.cooling.factorOf(destination(draws));
    heat::MechHeatSystem undamaged;
    damage.at(selector) = damageHeatsinks(undamaged, draws.selector, settings.rules);
  }
  std::ranges::copy(factors, std::begin(job.factors));
  std::ranges::copy(damage, std::begin(job.damage));
  playLanes(job);
  for (std::size_t turn = 0; turn < turns; ++turn) {
    const lanes::TurnLanes& played = turnLanes[turn];
    tally.perTurn[turn] =
        TurnTally{played.overheated,   played.critical, played.coolantEmpty, played.everOverheated,
                  played.everCritical, played.heatSum,  played.heatSquares};
  }
  tally.runs = end - first;
  for (std::size_t chart = 0; chart < charted.size(); ++chart) {
    addLanes(tally.turnHeat[chart], charts[chart], tally.runs);
  }
  addLanes(tally.finalHeat, finalHeat, tally.runs);
  tally.hottest = HottestRun{job.hottestRun, job.hottestHeat};
  tally.damagedOut = job.damagedOut;
  return tally;
}

// The vector engine that plays as `engine`.
void (*vectorEngine(Engine engine))(lanes::Job&) {
#if defined(__wasm__)
  (void)engine;  // the only one
  return simd128::playLanes;
#else
  constexpr std::array<void (*)(lanes::Job&), 3> kX86{sse4::playLanes, avx2::playLanes,
                                                      avx512::playLanes};
  return kX86.at(static_cast<std::size_t>(engine) - 1);
#endif
}

#endif

void require(bool holds, const char* field, const char* what) {
  if (!holds) {
    refuse(std::string{"batch settings: "} + field + " " + what);
  }
}

}  // namespace

void checkBatchSettings(const BatchSettings& settings) {
  require(settings.runs > 0, "runs", "must be at least 1");
  require(settings.turns > 0, "turns", "must be at least 1");
  require(settings.mech.heatsinkCount >= 0, "heatsinkCount", "must not be negative");
  require(settings.mech.coolantLiters >= 0, "coolantLiters", "must not be negative");
  require(settings.mostChartedTurns > 0 && settings.mostChartedTurns <= kMaxChartedTurns,
          "mostChartedTurns", "must be 1 to 1000");
  if (const std::optional<RuleProblem> problem = rulesProblem(settings.rules)) {
    refuse("batch settings: rules: " + problem->message);
  }
}

namespace {

// The highest heat that a run of `mech` can reach by the end of turn
// `turn`: no turn adds more than the most heat drawn and what the heatsinks
// add once their damage, growing at most by the largest step each turn, is
// past their capacity, in the environment that cools most.
double heatBound(const heat::MechHeatSystem& mech, const Rules& rules, int turn) {
  double factor = std::max(1.0, static_cast<double>(mech.baseCoolingFactor));
  for (const float environment : rules.cooling.factors) {
    factor = std::max(factor, static_cast<double>(environment));
  }
  const double step =
      static_cast<double>(damagePercent(static_cast<int>(kSelectorRange) - 1, rules)) / 100.0;
  const auto damage = static_cast<double>(mech.heatsinkDamage);
  // The damage past capacity after turn k, damage + step k - 1, summed over
  // the turns from the first where it is above 0.
  const auto turns = static_cast<double>(turn);
  const double first = step > 0.0     ? std::max(1.0, std::floor((1.0 - damage) / step) + 1.0)
                       : damage > 1.0 ? 1.0
                                      : turns + 1.0;
  const double past = turns < first
                          ? 0.0
                          : (turns - first + 1.0) * (damage - 1.0) +
                                step * (turns * (turns + 1.0) - (first - 1.0) * first) / 2.0;
  const auto hottestTurn = static_cast<double>(
      rules.heatValues.empty() ? rules.heatMax : std::ranges::max(rules.heatValues));
  return mech.totalHeat + mech.pendingHeat + turns * hottestTurn +
         factor * heatsinkCooling(mech.heatsinkType, rules.cooling) *
             static_cast<double>(mech.heatsinkCount) * past;
}

// The most memory a histogram that has held `heat` takes, when it holds
// what it counts without room to grow, as a tally's kept histograms do.
template <typename Histogram>
std::uint64_t histogramMemory(double heat) {
  return sizeof(Histogram) + sizeof(std::uint64_t) * (Histogram::binOf(heat) + 1);
}

}  // namespace

std::uint64_t tallyMemory(const BatchSettings& settings) {
  std::uint64_t bytes =
      sizeof(BatchTally) + sizeof(TurnTally) * static_cast<std::uint64_t>(settings.turns) +
      histogramMemory<HeatHistogram>(heatBound(settings.mech, settings.rules, settings.turns));
  for (const int turn : chartedTurns(settings)) {
    bytes += histogramMemory<TurnHeatHistogram>(heatBound(settings.mech, settings.rules, turn));
  }
  return bytes;
}

void BatchTally::add(const BatchTally& next) {
  if (perTurn.empty()) {
    perTurn.resize(next.perTurn.size());
  }
  for (std::size_t turn = 0; turn < next.perTurn.size(); ++turn) {
    TurnTally& total = perTurn[turn];
    const TurnTally& part = next.perTurn[turn];
    total.overheated += part.overheated;
    total.critical += part.critical;
    total.coolantEmpty += part.coolantEmpty;
    total.everOverheated += part.everOverheated;
    total.everCritical += part.everCritical;
    total.heatSum += part.heatSum;
    total.heatSquares += part.heatSquares;
  }
  if (turnHeat.empty()) {
    turnHeat.resize(next.turnHeat.size());
  }
  for (std::size_t chart = 0; chart < next.turnHeat.size(); ++chart) {
    turnHeat[chart].merge(next.turnHeat[chart]);
  }
  runs += next.runs;
  damagedOut += next.damagedOut;
  versus.add(next.versus);
  finalHeat.merge(next.finalHeat);
  // Among equal heats the earlier run stays.
  if (next.hottest.finalHeat > hottest.finalHeat) {
    hottest = next.hottest;
  }
}

std::vector<int> evenlySpacedTurns(int turns, int count) {
  const int shown = std::min(turns, count);
  std::vector<int> chosen;
  chosen.reserve(static_cast<std::size_t>(shown));
  for (int row = 1; row <= shown; ++row) {
    chosen.push_back(
        static_cast<int>((static_cast<std::int64_t>(row) * turns + shown - 1) / shown));
  }
  return chosen;
}

bool engineAvailable(Engine engine) {
#if MECH_HEAT_VECTOR_ENGINES
  return processorEngines().at(static_cast<std::size_t>(engine));
#else
  return engine == Engine::Scalar;
#endif
}

Engine selectedEngine() {
  constexpr std::array kEngines{Engine::Scalar, Engine::Sse4, Engine::Avx2, Engine::Avx512,
                                Engine::Simd128};
  std::vector<Engine> available;
  std::ranges::copy_if(kEngines, std::back_inserter(available), engineAvailable);
  const auto nameOf = [](Engine engine) {
    return kEngineNames.at(static_cast<std::size_t>(engine));
  };
  // Read only: nothing here sets the environment.
  const char* named = std::getenv("MECH_HEAT_ENGINE");  // NOLINT(concurrency-mt-unsafe)
  const std::string_view name = named == nullptr ? "" : named;
  if (name.empty()) {
    return available.back();
  }
  const auto found = std::ranges::find(available, name, nameOf);
  if (found == available.end()) {
    std::string names;
    for (const Engine engine : available) {
      names.append(names.empty() ? "" : ", ").append(nameOf(engine));
    }
    refuse("MECH_HEAT_ENGINE=" + std::string{name} + " names no engine this processor runs (" +
           names + ")");
  }
  return *found;
}

BatchTally playRuns(const BatchSettings& settings, std::uint64_t first, std::uint64_t end,
                    RunOutcomes* outcomes) {
  return playRuns(settings, first, end, selectedEngine(), outcomes);
}

BatchTally playRuns(const BatchSettings& settings, std::uint64_t first, std::uint64_t end,
                    [[maybe_unused]] Engine engine, RunOutcomes* outcomes) {
#if MECH_HEAT_VECTOR_ENGINES
  if (engine != Engine::Scalar && playableInLanes(settings, first, end)) {
    return playVector(settings, first, end, vectorEngine(engine), outcomes);
  }
#endif
  return playScalar(settings, first, end, outcomes);
}

void PairedTally::add(const PairedTally& next) {
  runs += next.runs;
  for (std::size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
    onlyThis.at(outcome) += next.onlyThis.at(outcome);
    onlyBaseline.at(outcome) += next.onlyBaseline.at(outcome);
  }
  differenceSum += next.differenceSum;
  differenceSquares += next.differenceSquares;
}

PairedTally pairRuns(const RunOutcomes& design, const RunOutcomes& baseline) {
  PairedTally paired;
  const std::size_t runs = design.flags.size();
  paired.runs = runs;
  // Counts of whole numbers, in any order the compiler likes; the sums in run order.
  std::array<std::uint64_t, kOutcomeCount> onlyThis{};
  std::array<std::uint64_t, kOutcomeCount> onlyBaseline{};
  for (std::size_t run = 0; run < runs; ++run) {
    const unsigned mine = design.flags[run];
    const unsigned theirs = baseline.flags[run];
    for (std::size_t outcome = 0; outcome < kOutcomeCount; ++outcome) {
      // NOLINTBEGIN(cppcoreguidelines-pro-bounds-constant-array-index): below kOutcomeCount
      onlyThis[outcome] += (mine & ~theirs) >> outcome & 1U;
      onlyBaseline[outcome] += (theirs & ~mine) >> outcome & 1U;
      // NOLINTEND(cppcoreguidelines-pro-bounds-constant-array-index)
    }
  }
  paired.onlyThis = onlyThis;
  paired.onlyBaseline = onlyBaseline;
  for (std::size_t run = 0; run < runs; ++run) {
    const double difference = design.finalHeat[run] - baseline.finalHeat[run];
    paired.differenceSum += difference;
    paired.differenceSquares += difference * difference;
  }
  return paired;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): an int and a count of runs
BatchBlocks::BatchBlocks(int turns, std::uint64_t runs)
    : runs_{runs},
      runsPerBlock_{std::max<std::uint64_t>(
          1, kTurnsPerBlock / static_cast<std::uint64_t>(std::max(turns, 1)))},
      count_{blocksFor(runs)} {}

std::uint64_t BatchBlocks::endRun(std::uint64_t block) const {
  return std::min(firstRun(block) + runsPerBlock_, runs_);
}

std::uint64_t BatchBlocks::blocksFor(std::uint64_t runs) const {
  return (runs + runsPerBlock_ - 1) / runsPerBlock_;
}

BatchResult playBatch(const BatchSettings& settings) {
  checkBatchSettings(settings);
  const BatchBlocks blocks{settings.turns, settings.runs};
  BatchResult result{settings, {}};
  for (std::uint64_t block = 0; block < blocks.count(); ++block) {
    result.tally.add(playRuns(settings, blocks.firstRun(block), blocks.endRun(block)));
  }
  return result;
}

}  // namespace simulation
