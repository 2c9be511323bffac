#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "simulation/batch.hpp"
#include "simulation/heat_histogram.hpp"
#include "simulation/rules.hpp"
#include "simulation/run_random.hpp"
#include "simulation/sweep.hpp"
#include "simulation/tally_words.hpp"
#include "simulation/turn.hpp"

namespace simulation {
namespace {

const TurnRanges kGameRanges{Rules{}};

TEST(RunRandom, DrawsEveryTurnEquallyOften) {
  // All 60 * 40 * 5 turns, about 100 times each: a chi-square statistic far
  // from its 11999 degrees of freedom means some turns come up too often.
  constexpr int kTurns = 12'000;
  constexpr int kDraws = 100 * kTurns;
  std::vector<int> counts(kTurns);
  RunRandom random{12345, 67};
  for (int i = 0; i < kDraws; ++i) {
    const auto draws = random.drawTurn(kGameRanges);
    ASSERT_TRUE(draws.heat >= 0 && draws.heat < 60 && draws.liters >= 1 && draws.liters <= 40 &&
                draws.selector >= 0 && draws.selector < 5);
    const int turn = (draws.heat * 40 + draws.liters - 1) * 5 + draws.selector;
    ++counts[static_cast<std::size_t>(turn)];
  }
  double chiSquare = 0.0;
  for (const int count : counts) {
    chiSquare += (count - 100.0) * (count - 100.0) / 100.0;
  }
  EXPECT_NEAR(chiSquare, kTurns - 1, 5 * std::sqrt(2.0 * (kTurns - 1)));
  // Runs and seeds have generators of their own.
  const auto firstTurns = [](RunRandom generator) {
    return generator.drawTurn(kGameRanges).heat * 200 + generator.drawTurn(kGameRanges).liters;
  };
  EXPECT_NE(firstTurns(RunRandom{1, 0}), firstTurns(RunRandom{1, 1}));
  EXPECT_NE(firstTurns(RunRandom{1, 0}), firstTurns(RunRandom{2, 0}));
}

// What a batch must count, counted the plain way: each run replayed on its
// own generator, one turn after another.
struct Counted {
  std::vector<std::uint64_t> overheated, critical, coolantEmpty, everOverheated, everCritical;
  std::vector<double> heatSum, heatSquares;
  std::vector<std::vector<double>> heats;  // of each turn
  std::vector<double> finalHeats;
  std::uint64_t damagedOut = 0;  // runs whose heatsinks end past 100 % damage
};

Counted countByHand(const BatchSettings& settings) {
  const auto turns = static_cast<std::size_t>(settings.turns);
  const std::vector<std::uint64_t> none(turns);
  Counted counted{none,
                  none,
                  none,
                  none,
                  none,
                  std::vector<double>(turns),
                  std::vector<double>(turns),
                  std::vector<std::vector<double>>(turns),
                  {},
                  0};
  for (std::uint64_t run = 0; run < settings.runs; ++run) {
    heat::MechHeatSystem mech = settings.mech;
    RunRandom random{settings.seed, run};
    bool everOverheated = false;
    bool everCritical = false;
    for (std::size_t turn = 0; turn < turns; ++turn) {
      playTurnSilently(mech, random.drawTurn(kGameRanges), settings.rules);
      counted.overheated[turn] += mech.overheated ? 1 : 0;
      counted.critical[turn] += mech.criticalTemperature ? 1 : 0;
      counted.coolantEmpty[turn] += mech.coolantLiters == 0 ? 1 : 0;
      counted.heatSum[turn] += mech.totalHeat;
      counted.heatSquares[turn] += mech.totalHeat * mech.totalHeat;
      counted.heats[turn].push_back(mech.totalHeat);
      everOverheated = everOverheated || mech.overheated;
      everCritical = everCritical || mech.criticalTemperature;
      counted.everOverheated[turn] += everOverheated ? 1 : 0;
      counted.everCritical[turn] += everCritical ? 1 : 0;
    }
    counted.finalHeats.push_back(mech.totalHeat);
    counted.damagedOut += mech.heatsinkDamage > 1.0F ? 1 : 0;
  }
  return counted;
}

struct Loadout {
  int heatsinks;
  int coolant;
};

heat::MechHeatSystem mechWith(Loadout loadout) {
  heat::MechHeatSystem mech;
  mech.heatsinkCount = loadout.heatsinks;
  mech.coolantLiters = loadout.coolant;
  return mech;
}

TEST(Batch, CountsWhatEveryRunWentThrough) {
  // Mechs that overheat and cool down again, that keep a last liter in the
  // tank for a while, and that cannot cool at all; over several blocks.
  const BatchSettings batches[] = {
      {heat::MechHeatSystem{}, 25, 6'000, 3},
      {mechWith({.heatsinks = 14, .coolant = 1}), 25, 3'000, 4},
      {mechWith({.heatsinks = 0, .coolant = 0}), 3, 2'000, 5},
      // Every run ends at 0, in two blocks: the first run stays the hottest.
      {mechWith({.heatsinks = 1'000, .coolant = 0}), 2, 40'000, 6},
  };
  for (const BatchSettings& settings : batches) {
    SCOPED_TRACE(settings.mech.heatsinkCount);
    const BatchTally tally = playBatch(settings).tally;
    const Counted counted = countByHand(settings);
    ASSERT_EQ(tally.perTurn.size(), counted.overheated.size());
    EXPECT_EQ(tally.runs, settings.runs);
    for (std::size_t turn = 0; turn < tally.perTurn.size(); ++turn) {
      SCOPED_TRACE(turn + 1);
      EXPECT_EQ(tally.perTurn[turn].overheated, counted.overheated[turn]);
      EXPECT_EQ(tally.perTurn[turn].critical, counted.critical[turn]);
      EXPECT_EQ(tally.perTurn[turn].coolantEmpty, counted.coolantEmpty[turn]);
      EXPECT_EQ(tally.perTurn[turn].everOverheated, counted.everOverheated[turn]);
      EXPECT_EQ(tally.perTurn[turn].everCritical, counted.everCritical[turn]);
      EXPECT_NEAR(tally.perTurn[turn].heatSum, counted.heatSum[turn],
                  1e-12 * counted.heatSum[turn]);
      EXPECT_NEAR(tally.perTurn[turn].heatSquares, counted.heatSquares[turn],
                  1e-12 * counted.heatSquares[turn]);
      // Every turn is charted; its percentiles to within half a heat unit or 1.6 %.
      std::vector<double> heats = counted.heats[turn];
      std::ranges::sort(heats);
      const TurnHeatHistogram& charted = tally.turnHeat.at(turn);
      EXPECT_EQ(charted.count(), settings.runs);
      for (const double fraction : {0.1, 0.25, 0.5, 0.75, 0.9}) {
        const double exact = heats[static_cast<std::size_t>(
                                       std::ceil(fraction * static_cast<double>(heats.size()))) -
                                   1];
        EXPECT_NEAR(charted.percentile(fraction), exact, std::max(0.5, 0.016 * exact));
      }
    }
    // The hottest run is the first of the hottest.
    const auto hottest = std::ranges::max_element(counted.finalHeats);
    EXPECT_EQ(tally.hottest.run, static_cast<std::uint64_t>(hottest - counted.finalHeats.begin()));
    EXPECT_EQ(tally.hottest.finalHeat, *hottest);
    EXPECT_EQ(tally.finalHeat.max(), *hottest);
    EXPECT_EQ(tally.finalHeat.min(), std::ranges::min(counted.finalHeats));
    EXPECT_EQ(tally.finalHeat.count(), settings.runs);
    EXPECT_EQ(tally.damagedOut, counted.damagedOut);
  }
}

// Every number of a tally, floating ones as their bits.
std::vector<std::uint64_t> bitsOf(const BatchTally& tally) {
  std::vector<std::uint64_t> bits{tally.runs, tally.damagedOut, tally.hottest.run,
                                  std::bit_cast<std::uint64_t>(tally.hottest.finalHeat)};
  for (const TurnTally& turn : tally.perTurn) {
    bits.insert(bits.end(), {turn.overheated, turn.critical, turn.coolantEmpty, turn.everOverheated,
                             turn.everCritical, std::bit_cast<std::uint64_t>(turn.heatSum),
                             std::bit_cast<std::uint64_t>(turn.heatSquares)});
  }
  const auto addHistogram = [&bits](const auto& histogram) {
    bits.insert(bits.end(),
                {histogram.count(), std::bit_cast<std::uint64_t>(histogram.min()),
                 std::bit_cast<std::uint64_t>(histogram.max()), histogram.bins().size()});
    bits.insert(bits.end(), histogram.bins().begin(), histogram.bins().end());
  };
  std::ranges::for_each(tally.turnHeat, addHistogram);
  addHistogram(tally.finalHeat);
  const PairedTally& paired = tally.versus;
  bits.insert(bits.end(), {paired.runs, std::bit_cast<std::uint64_t>(paired.differenceSum),
                           std::bit_cast<std::uint64_t>(paired.differenceSquares)});
  bits.insert(bits.end(), paired.onlyThis.begin(), paired.onlyThis.end());
  bits.insert(bits.end(), paired.onlyBaseline.begin(), paired.onlyBaseline.end());
  return bits;
}

TEST(TallyWords, GiveBackEveryTallyToTheBitAndNoneFromWordsCutShortOrOversized) {
  // Designs cooler and hotter than their baseline, over 12 turns, all
  // charted, some runs damaged out; and a tally of no runs, its histograms empty.
  heat::MechHeatSystem doubled;
  doubled.heatsinkType = heat::HeatsinkType::Double;
  const std::vector<Design> designs{heat::MechHeatSystem{}, doubled, mechWith({6, 100})};
  const SweepSettings sweep{designs, 12, 3'000, 7, {}, Versus{"", "", {0, 0, 0}}};
  std::vector<BatchTally> tallies = playGroup(sweep, {0, 1, 2}, 0, 3'000);
  ASSERT_GT(tallies[1].versus.onlyBaseline[0] * tallies[2].versus.onlyThis[0], 0U);
  ASSERT_GT(tallies[1].damagedOut, 0U);
  tallies.emplace_back();
  std::vector<std::uint64_t> words;
  std::ranges::for_each(tallies, [&](const BatchTally& tally) { appendTallyWords(tally, words); });
  std::span<const std::uint64_t> left{words};
  for (const BatchTally& tally : tallies) {
    const std::optional<BatchTally> read = readTallyWords(left);
    ASSERT_TRUE(read);
    EXPECT_EQ(bitsOf(*read), bitsOf(tally));
  }
  EXPECT_TRUE(left.empty());
  std::vector<std::uint64_t> one;
  appendTallyWords(tallies[1], one);
  for (std::size_t size = 0; size < one.size(); ++size) {
    std::span<const std::uint64_t> cut = std::span{one}.first(size);
    EXPECT_FALSE(readTallyWords(cut)) << size;
  }
  // The counts of turns and of histograms, after 13 words, far past the words.
  ASSERT_EQ(one[13], 12U);
  ASSERT_EQ(one[14], 12U);
  for (const std::size_t count : {13U, 14U}) {
    for (const std::uint64_t huge : {std::uint64_t{1} << 40U, ~std::uint64_t{0}}) {
      std::vector<std::uint64_t> oversized = one;
      oversized[count] = huge;
      std::span<const std::uint64_t> claimed{oversized};
      EXPECT_FALSE(readTallyWords(claimed)) << count;
    }
  }
}

// Rules within their bounds, drawn from `random`: heats from a range or a
// table, thresholds from -1 to past what is drawn.
Rules randomRules(std::mt19937& random) {
  const auto between = [&random](std::int32_t least, std::int32_t most) {
    return least +
           static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(most - least + 1));
  };
  Rules rules;
  rules.heatMin = between(0, 100);
  rules.heatMax = rules.heatMin + between(0, 200);
  if (between(0, 1) == 1) {
    const std::int32_t values = between(1, 12);
    for (std::int32_t value = 0; value < values; ++value) {
      rules.heatValues.push_back(between(0, 300));
      rules.heatWeights.push_back(between(0, 80'000));
    }
    rules.heatWeights.back() += 1;
  }
  rules.damageAbove = between(-1, 250);
  rules.litersMin = between(0, 30);
  rules.litersMax = rules.litersMin + between(0, between(0, 1) == 1 ? 60 : 9'000);
  rules.moveAtMost = between(-1, rules.litersMax);
  rules.coolantAtMost = between(-1, 4);
  rules.percentPerStep = between(0, 30);
  const auto number = [&](std::int32_t most) { return between(0, most * 8) / 8.0; };
  rules.cooling = {number(6), number(4), number(4), number(150), number(200), {}};
  for (float& factor : rules.cooling.factors) {
    factor = static_cast<float>(between(1, 300)) / 64.0F;
  }
  return rules;
}

TEST(Batch, EveryEngineTalliesWhatTheScalarOneDoes) {
  struct Case {
    std::string what;
    heat::MechHeatSystem mech;
    int turns;
    std::uint64_t first, end;  // seed 46 redraws turn 1 of run 33 and turn 12 of run 31828
    Rules rules{};
  };
  const auto with = [](auto change) {
    heat::MechHeatSystem mech;
    change(mech);
    return mech;
  };
  const auto rules = [](auto change) {
    Rules changed;
    change(changed);
    return changed;
  };
  const heat::MechHeatSystem doubles =
      with([](auto& m) { m.heatsinkType = heat::HeatsinkType::Double; });
  std::vector<Case> cases{
      {"default", {}, 12, 0, 300},
      {"no heatsinks", mechWith({.heatsinks = 0, .coolant = 100}), 12, 0, 300},
      {"1000 heatsinks", mechWith({.heatsinks = 1'000, .coolant = 100}), 12, 0, 300},
      {"every run cold", mechWith({.heatsinks = 1'000, .coolant = 100}), 2, 0, 300},
      {"double", with([](auto& m) { m.heatsinkType = heat::HeatsinkType::Double; }), 12, 0, 300},
      {"dry", mechWith({.heatsinks = 10, .coolant = 0}), 12, 0, 300},
      {"10000 liters", mechWith({.heatsinks = 10, .coolant = 10'000}), 12, 0, 300},
      {"damaged past 100 %", with([](auto& m) { m.heatsinkDamage = 0.9F; }), 30, 0, 300},
      {"hot and flagged", with([](auto& m) {
         m.totalHeat = 150.0;
         m.overheated = m.criticalTemperature = true;
       }),
       12, 0, 300},
      {"flagged but cold", with([](auto& m) { m.criticalTemperature = true; }), 12, 0, 300},
      {"an odd range", {}, 1'200, 5, 30},  // more turns than charted
      {"longer than a block", {}, 65'537, 0, 8},
      {"fewer runs than lanes", {}, 12, 0, 7},
      {"run 33 last, in a part of a vector", {}, 12, 1, 34},
      {"run 31828 in a vector", {}, 12, 31'821, 31'829},
      {"run 31828 last, in a part of a vector", {}, 12, 31'820, 31'829},
      {"heat pending", with([](auto& m) { m.pendingHeat = 3.0; }), 12, 0, 300},
      {"coolant pending", with([](auto& m) { m.coolantCooling = -2.0; }), 12, 0, 300},
  };
  for (const heat::EnvironmentTraits& traits : heat::kEnvironments) {
    cases.push_back({traits.optionName.data(),
                     with([&](auto& m) { m.setEnvironmentSilently(traits.environment); }), 12, 0,
                     300});
  }
  // Each rule changed, over runs that end in a part of a vector: turns from
  // ranges whose outputs are biased one time in 16, from tables drawn from
  // one output, from two (the heat alone, or the heat and liters),
  // thresholds never and always met, levels, coolings and factors.
  const std::vector<Case> ruleCases{
      {"wide ranges", {}, 12, 0, 301, rules([](Rules& r) {
         r.heatMin = 30;
         r.heatMax = 9'000;
         r.litersMin = 0;
         r.litersMax = 10'000;
       })},
      {"a heat table", {}, 12, 0, 301, rules([](Rules& r) {
         r.heatValues = {0, 7, 45, 300};
         r.heatWeights = {1, 0, 3, 2};
       })},
      {"a heat table alone in an output", {}, 12, 0, 301, rules([](Rules& r) {
         r.heatValues = {5, 50, 60, 500};
         r.heatWeights = {600'000, 1, 0, 399'999};
         r.litersMin = 0;
         r.litersMax = 10'000;
       })},
      {"a heat table with the liters in an output", {}, 12, 0, 301, rules([](Rules& r) {
         r.heatValues = {3, 61};
         r.heatWeights = {77'777, 22'223};
         r.litersMax = 10'000;
         r.moveAtMost = 5'000;
       })},
      {"thresholds -1", {}, 12, 0, 301, rules([](Rules& r) {
         r.damageAbove = r.moveAtMost = r.coolantAtMost = -1;
       })},
      {"thresholds always met", {}, 12, 0, 301, rules([](Rules& r) {
         r.damageAbove = 0;
         r.moveAtMost = 40;
         r.coolantAtMost = 4;
         r.percentPerStep = 17;
       })},
      {"no damage", with([](auto& m) { m.heatsinkDamage = 0.5F; }), 12, 0, 301,
       rules([](Rules& r) { r.percentPerStep = 0; })},
      {"coolings", doubles, 12, 0, 301, rules([](Rules& r) {
         r.cooling.perLiter = 3.0;
         r.cooling.singleHeatsink = 0.1;
         r.cooling.doubleHeatsink = 1.3;
       })},
      {"levels", {}, 12, 0, 301, rules([](Rules& r) {
         r.heatMax = 69;
         r.cooling.overheatAbove = 50.0;
         r.cooling.criticalAbove = 40.0;
       })},
      {"factors", with([](auto& m) { m.baseCoolingFactor = 0.3F; }), 12, 0, 301,
       rules([](Rules& r) {
         r.cooling.factors = {0.1F, 3.3F, 0.7F, 1.9F, 1.1F};
       })},
  };
  // The mechs above also with turns drawn lane by lane, from a heat table.
  const std::size_t mechCases = cases.size();
  for (std::size_t mech = 0; mech < mechCases; ++mech) {
    Case byTable = cases[mech];
    byTable.what += ", by a heat table";
    byTable.rules = ruleCases[1].rules;
    cases.push_back(byTable);
  }
  cases.insert(cases.end(), ruleCases.begin(), ruleCases.end());
  std::mt19937 random{2024};  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same rule sets every time
  for (int set = 0; set < 8; ++set) {
    cases.push_back({"random rules " + std::to_string(set),
                     set % 2 == 0 ? doubles : heat::MechHeatSystem{}, 12, 0, 301,
                     randomRules(random)});
  }
  for (const Engine engine : {Engine::Sse4, Engine::Avx2, Engine::Avx512}) {
    if (!engineAvailable(engine)) {
      continue;
    }
    SCOPED_TRACE(kEngineNames.at(static_cast<std::size_t>(engine)));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const BatchSettings settings{c.mech, c.turns, c.end, 46, kMaxChartedTurns, c.rules};
      ASSERT_FALSE(rulesProblem(c.rules)) << rulesProblem(c.rules)->message;
      RunOutcomes inLanes;
      RunOutcomes scalar;
      EXPECT_EQ(bitsOf(playRuns(settings, c.first, c.end, engine, &inLanes)),
                bitsOf(playRuns(settings, c.first, c.end, Engine::Scalar, &scalar)));
      EXPECT_EQ(inLanes.flags, scalar.flags);
      EXPECT_EQ(inLanes.finalHeat, scalar.finalHeat);  // no NaN
    }
  }
}

TEST(Batch, TakesTheEngineTheEnvironmentNames) {
  Engine widest = Engine::Scalar;
  for (const Engine engine : {Engine::Sse4, Engine::Avx2, Engine::Avx512}) {
    widest = engineAvailable(engine) ? engine : widest;
  }
  struct Case {
    const char* value = nullptr;   // unset
    std::optional<Engine> engine;  // none: refused
  };
  const Case cases[] = {{nullptr, widest}, {"", widest}, {"scalar", Engine::Scalar}, {"avx", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "unset" : c.value);
    if (c.value == nullptr) {
      unsetenv("MECH_HEAT_ENGINE");
    } else {
      setenv("MECH_HEAT_ENGINE", c.value, 1);
    }
    if (c.engine) {
      EXPECT_EQ(selectedEngine(), *c.engine);
    } else {
      EXPECT_THROW(static_cast<void>(selectedEngine()), std::invalid_argument);
    }
  }
  unsetenv("MECH_HEAT_ENGINE");
}

TEST(Batch, OfAMechThatCannotCoolAddsUpTheDrawnHeat) {
  // Without heatsinks or coolant a run's heat is the sum of its draws: after
  // two turns, the sum of two numbers from 0 to 59, above 60 for 1711 of the
  // 3600 pairs, above 100 for 171, at most 59 for 1830, at most 92 for 3249.
  const BatchSettings settings{mechWith({.heatsinks = 0, .coolant = 0}), 2, 100'000, 1};
  const BatchTally tally = playBatch(settings).tally;
  const auto share = [&](std::uint64_t count) { return static_cast<double>(count) / 1e5; };
  const double tolerance = 5 * std::sqrt(0.25 / 1e5);
  EXPECT_EQ(tally.perTurn[0].overheated, 0U);
  EXPECT_EQ(tally.perTurn[1].coolantEmpty, settings.runs);
  EXPECT_NEAR(tally.perTurn[0].heatSum / 1e5, 29.5, 0.2);
  EXPECT_NEAR(tally.perTurn[1].heatSum / 1e5, 59.0, 0.3);
  EXPECT_NEAR(share(tally.perTurn[1].overheated), 1711 / 3600.0, tolerance);
  EXPECT_NEAR(share(tally.perTurn[1].critical), 171 / 3600.0, tolerance);
  EXPECT_NEAR(tally.finalHeat.percentile(0.5), 59.0, 0.1);
  EXPECT_NEAR(tally.finalHeat.percentile(0.9), 92.0, 0.1);
  EXPECT_EQ(tally.finalHeat.max(), 118.0);
}

TEST(Batch, RefusesSettingsThatDescribeNoBatch) {
  Rules outOfBounds;
  outOfBounds.heatMin = 60;
  // Each bound that a rule set may break, the rule it names.
  const auto broken = [](auto change) {
    Rules rules;
    change(rules);
    return rules;
  };
  const std::vector<std::pair<Rules, std::string>> rulesOutOfBounds{
      {broken([](Rules& r) { r.heatValues.assign(10'001, 1); }), "heat.values"},
      {broken([](Rules& r) {
         r.heatValues = {1, 2};
         r.heatWeights = {1, 1'000'001};
       }),
       "heat.weights"},
      {broken([](Rules& r) {
         r.heatValues = {1};
         r.heatWeights = {0};
       }),
       "heat.weights"},
      {broken([](Rules& r) { r.cooling.perLiter = 2e6; }), "cooling.per-liter"},
      {broken([](Rules& r) { r.cooling.factors[1] = 1001.0F; }), "environments.water"},
      {broken([](Rules& r) { r.cooling.factors[2] = 0.0F; }), "environments.hot-air"},
  };
  for (const auto& [rules, named] : rulesOutOfBounds) {
    const std::optional<RuleProblem> problem = rulesProblem(rules);
    ASSERT_TRUE(problem.has_value()) << named;
    EXPECT_EQ(kRuleNames.at(problem->rule).name, named);
  }
  // A value of another type, or for no rule, is not stored.
  Rules rules;
  EXPECT_FALSE(setRule(rules, *ruleNamed("heat.values"), RuleValue{std::int64_t{3}}));
  EXPECT_FALSE(
      setRule(rules, *ruleNamed("cooling.single"), RuleValue{std::vector<std::int64_t>{}}));
  EXPECT_FALSE(setRule(rules, kRuleNames.size(), RuleValue{1.0}));
  EXPECT_TRUE(setRule(rules, *ruleNamed("environments.space"), RuleValue{2.5F}));
  EXPECT_EQ(rules, broken([](Rules& r) { r.cooling.factors[0] = 2.5F; }));
  struct Case {
    BatchSettings settings;
    std::string field;
  };
  const std::vector<Case> cases{
      {{heat::MechHeatSystem{}, 10, 0, 1}, "runs"},
      {{heat::MechHeatSystem{}, 0, 5, 1}, "turns"},
      {{mechWith({.heatsinks = -1, .coolant = 100}), 10, 5, 1}, "heatsinkCount"},
      {{mechWith({.heatsinks = 10, .coolant = -1}), 10, 5, 1}, "coolantLiters"},
      {{heat::MechHeatSystem{}, 10, 5, 1, 0}, "mostChartedTurns"},
      {{heat::MechHeatSystem{}, 10, 5, 1, kMaxChartedTurns + 1}, "mostChartedTurns"},
      {{heat::MechHeatSystem{}, 10, 5, 1, kMaxChartedTurns, outOfBounds}, "heat.max"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    try {
      static_cast<void>(playBatch(c.settings));
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string{error.what()}.find(c.field), std::string::npos) << error.what();
    }
  }
  EXPECT_NO_THROW(checkBatchSettings({mechWith({.heatsinks = 0, .coolant = 0}), 1, 1, 0}));
}

TEST(Batch, ChartsAndShowsEvenlySpacedTurnsEndingWithTheLast) {
  struct Case {
    int turns;
    int count;
    std::vector<int> chosen;
  };
  const Case cases[] = {
      {1, 20, {1}},
      {5, 20, {1, 2, 3, 4, 5}},
      {20, 20, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
      {30, 20, {2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 23, 24, 26, 27, 29, 30}},
      {1'000'000, 20, {50'000,  100'000, 150'000, 200'000, 250'000, 300'000,  350'000,
                       400'000, 450'000, 500'000, 550'000, 600'000, 650'000,  700'000,
                       750'000, 800'000, 850'000, 900'000, 950'000, 1'000'000}},
      {7, 3, {3, 5, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.turns);
    EXPECT_EQ(evenlySpacedTurns(c.turns, c.count), c.chosen);
  }
  EXPECT_EQ(chartedTurns(999).size(), 999U);
  EXPECT_EQ(chartedTurns(2'500).size(), 1'000U);
  EXPECT_EQ(chartedTurns(2'500).back(), 2'500);
}

TEST(Batch, TakesNoMoreMemoryThanItsBound) {
  // Mechs whose heat stays low, grows with each turn, and whose damaged
  // heatsinks heat them more every turn; charting every turn, a few or one.
  heat::MechHeatSystem damaged = mechWith({.heatsinks = 1'000, .coolant = 0});
  damaged.heatsinkType = heat::HeatsinkType::Double;
  damaged.heatsinkDamage = 3.0F;
  // By rules whose damage never grows, and with a table of heats.
  Rules undamaging;
  undamaging.percentPerStep = 0;
  Rules table;
  table.heatValues = {0, 900};
  table.heatWeights = {5, 1};
  const BatchSettings batches[] = {
      {heat::MechHeatSystem{}, 12, 3'000, 1},
      {damaged, 30, 500, 4, kMaxChartedTurns, undamaging},
      {mechWith({.heatsinks = 10, .coolant = 0}), 30, 500, 4, kMaxChartedTurns, undamaging},
      {mechWith({.heatsinks = 0, .coolant = 0}), 30, 500, 4, kMaxChartedTurns, table},
      {mechWith({.heatsinks = 0, .coolant = 0}), 40, 2'000, 2},
      {mechWith({.heatsinks = 1'000, .coolant = 10}), 60, 2'000, 3, 7},
      {damaged, 30, 500, 4},
      {mechWith({.heatsinks = 0, .coolant = 0}), 20'000, 2, 5, 1},  // mostly counts of turns
  };
  const auto histogramBytes = [](const auto& histogram) {
    return sizeof(histogram) + sizeof(std::uint64_t) * histogram.bins().capacity();
  };
  for (const BatchSettings& settings : batches) {
    SCOPED_TRACE(settings.turns);
    const BatchTally tally = playBatch(settings).tally;
    std::uint64_t bytes = sizeof(BatchTally) + sizeof(TurnTally) * tally.perTurn.capacity() +
                          histogramBytes(tally.finalHeat);
    for (const TurnHeatHistogram& histogram : tally.turnHeat) {
      bytes += histogramBytes(histogram);
    }
    EXPECT_LE(bytes, tallyMemory(settings));
    EXPECT_GT(bytes * 2, tallyMemory(settings));  // a bound, not a guess far above
  }
}

TEST(HeatHistogram, FindsPercentilesWithinItsPrecision) {
  struct Case {
    std::vector<double> heats;
    double fraction;
    double percentile;
    double
        tolerance;  // 0.1 or 0.1 % of the value, whichever is larger; 0 where it is a value's own
  };
  std::vector<double> hundred;
  for (int heat = 1; heat <= 100; ++heat) {
    hundred.push_back(heat);
  }
  std::vector<double> large;
  for (int heat = 1; heat <= 1000; ++heat) {
    large.push_back(heat * 10.0);
  }
  const Case cases[] = {
      {hundred, 0.5, 50.03125, 0.1},  // the middle of the bin of width 1/16 that holds 50
      {hundred, 0.9, 90.03125, 0.1},    {hundred, 0.99, 99.03125, 0.1},
      {hundred, 0.0, 1.03125, 0.1},     {hundred, 1.0, 100.0, 0.0},  // never above the largest
      {{5.06}, 0.5, 5.06, 0.0},                                      // nor below the smallest
      {{0.0, 0.0, 3.0}, 0.5, 0.0, 0.0}, {large, 0.99, 9900.0, 9.9},
      {large, 0.5, 5000.0, 5.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fraction);
    HeatHistogram histogram;
    for (const double heat : c.heats) {
      histogram.add(heat);
    }
    EXPECT_NEAR(histogram.percentile(c.fraction), c.percentile, c.tolerance);
    HeatHistogram merged;
    merged.merge(histogram);
    merged.merge(HeatHistogram{});
    EXPECT_EQ(merged.percentile(c.fraction), histogram.percentile(c.fraction));
    EXPECT_EQ(merged.min(), std::ranges::min(c.heats));
  }
}

}  // namespace
}  // namespace simulation
