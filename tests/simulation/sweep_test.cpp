#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "simulation/batch.hpp"
#include "simulation/statistics.hpp"
#include "simulation/sweep.hpp"

namespace simulation {
namespace {

TEST(Intervals, FollowTheWilsonScoreAndTheStandardError) {
  struct Case {
    std::uint64_t count, runs;
    double low, high;
  };
  // Wilson's bounds, (k + z²/2 ∓ z √(k (n - k) / n + z²/4)) / (n + z²), worked out apart.
  const Case cases[] = {
      {0, 10, 0.0, 0.2775328},
      {5, 10, 0.23659309, 0.76340691},
      {10, 10, 0.7224672, 1.0},
      {1, 3, 0.06149194, 0.7923404},
      {1711, 3600, 0.45899975, 0.49160851},
      {1, 1'000'000, 1.7653e-07, 5.6649e-06},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    const Interval interval = shareInterval(c.count, c.runs);
    EXPECT_NEAR(interval.low, c.low, 1e-8 + 1e-4 * c.low);
    EXPECT_TRUE(c.count > 0 || interval.low == 0.0);  // exactly
    EXPECT_TRUE(c.count < c.runs || interval.high == 1.0);
    EXPECT_NEAR(interval.high, c.high, 1e-8 + 1e-4 * c.high);
  }
  // 1, 2, 3, 4: mean 2.5, sample variance 5/3, 1.96 standard errors 1.26515.
  const Interval mean = meanInterval(10.0, 30.0, 4);
  EXPECT_NEAR(mean.low, 1.234849, 1e-6);
  EXPECT_NEAR(mean.high, 3.765151, 1e-6);
  EXPECT_EQ(meanInterval(7.0, 49.0, 1).low, 7.0);
  EXPECT_EQ(meanInterval(21.0, 147.0, 3).high, 7.0);  // no spread
}

TEST(Intervals, HoldTheTrueShareInNineteenBatchesOfTwenty) {
  // A mech that cannot cool overheats in two turns with the chance that two
  // numbers from 0 to 59 add up to more than 60, 1711 in 3600; critical, to
  // more than 100, 171 in 3600.
  heat::MechHeatSystem mech;
  mech.heatsinkCount = 0;
  mech.coolantLiters = 0;
  int overheatedHeld = 0;
  int criticalHeld = 0;
  constexpr int kBatches = 400;
  for (std::uint32_t seed = 1; seed <= kBatches; ++seed) {
    const BatchTally tally = playBatch({mech, 2, 500, seed}).tally;
    const auto holds = [&](std::uint64_t count, double share) {
      const Interval interval = shareInterval(count, tally.runs);
      return interval.low <= share && share <= interval.high ? 1 : 0;
    };
    overheatedHeld += holds(tally.perTurn[1].everOverheated, 1711.0 / 3600.0);
    criticalHeld += holds(tally.perTurn[1].critical, 171.0 / 3600.0);
  }
  // 95 % of 400, give or take three binomial standard deviations.
  for (const int held : {overheatedHeld, criticalHeld}) {
    EXPECT_GE(held, 367);
    EXPECT_LE(held, 393);
  }
}

std::vector<std::uint64_t> bitsOf(const BatchTally& tally) {
  std::vector<std::uint64_t> bits{tally.runs, tally.hottest.run};
  for (const TurnTally& turn : tally.perTurn) {
    bits.insert(bits.end(), {turn.overheated, turn.critical, turn.coolantEmpty, turn.everOverheated,
                             turn.everCritical, std::bit_cast<std::uint64_t>(turn.heatSum),
                             std::bit_cast<std::uint64_t>(turn.heatSquares)});
  }
  return bits;
}

TEST(Sweep, PlaysEveryDesignOnTheRunsOfItsPlainBatch) {
  heat::MechHeatSystem doubled;
  doubled.heatsinkType = heat::HeatsinkType::Double;
  heat::MechHeatSystem dry;
  dry.coolantLiters = 0;
  dry.setEnvironmentSilently(heat::Environment::HotAir);
  const SweepSettings settings{{heat::MechHeatSystem{}, doubled, dry}, 12, 7'000, 21, {}, {}};
  const SweepResult sweep = playSweep(settings);
  ASSERT_EQ(sweep.designs.size(), 3U);
  EXPECT_EQ(sweep.runs, 7'000U);
  for (std::size_t design = 0; design < 3; ++design) {
    SCOPED_TRACE(design);
    const BatchResult alone = playBatch({settings.designs[design].mech, 12, 7'000, 21});
    EXPECT_EQ(bitsOf(sweep.designs[design].tally), bitsOf(alone.tally));
  }
}

TEST(Sweep, ChartsFewerTurnsOfEachDesignWhenTheDesignsAreMany) {
  struct Case {
    std::size_t designs;
    int charted;
  };
  for (const Case c : {Case{1, 1'000}, Case{100, 1'000}, Case{150, 666}, Case{10'000, 10}}) {
    SCOPED_TRACE(c.designs);
    const SweepSettings settings{
        std::vector<Design>(c.designs, heat::MechHeatSystem{}), 5'000, 1, 0, {}, {}};
    EXPECT_EQ(designBatch(settings, c.designs - 1, 1).mostChartedTurns, c.charted);
  }
}

TEST(Sweep, CountsEveryShareOfEveryTurnTowardsTheMargin) {
  // 10000 runs of 3 turns: a share of a half is known to about ±1 %, a share
  // of none to within 0.04 %.
  for (std::uint64_t TurnTally::*share :
       {&TurnTally::overheated, &TurnTally::critical, &TurnTally::coolantEmpty,
        &TurnTally::everOverheated, &TurnTally::everCritical}) {
    for (std::size_t turn = 0; turn < 3; ++turn) {
      BatchTally tally;
      tally.runs = 10'000;
      tally.perTurn.resize(3);
      EXPECT_TRUE(withinMargin(tally, 0.005));
      tally.perTurn[turn].*share = 5'000;
      EXPECT_FALSE(withinMargin(tally, 0.005)) << turn;
      EXPECT_TRUE(withinMargin(tally, 0.01)) << turn;
    }
  }
}

TEST(Sweep, StopsAtTheFirstCheckThatMeetsTheMargin) {
  struct Case {
    double margin;
    std::uint64_t most;
    std::uint64_t runs;  // 10 turns: blocks of 6553 runs, the first check at 13106
    bool met;
  };
  const Case cases[] = {
      {0.02, 1'000'000'000, 13'106, true},
      {0.005, 1'000'000'000, 52'424, true},  // 1.96 √(0.25 / n) ≤ 0.005 from n = 38415
      {0.001, 30'000, 30'000, false},        // the most runs come first
      {0.5, 5, 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.margin);
    const SweepSettings settings{{heat::MechHeatSystem{}}, 10, c.most, 3, c.margin, {}};
    const SweepResult result = playSweep(settings);
    EXPECT_EQ(result.runs, c.runs);
    EXPECT_EQ(result.marginMet, c.met);
    EXPECT_EQ(withinMargin(result.designs[0].tally, c.margin), c.met);
    // The very numbers of a plain batch of as many runs.
    EXPECT_EQ(bitsOf(result.designs[0].tally),
              bitsOf(playBatch({heat::MechHeatSystem{}, 10, c.runs, 3}).tally));
  }
  const SweepSettings settings{{heat::MechHeatSystem{}}, 10, 200'000, 3, 0.005, {}};
  EXPECT_EQ(checkpoints(settings),
            (std::vector<std::uint64_t>{13'106, 26'212, 52'424, 104'848, 200'000}));
  // The most runs on a check itself: checked once.
  EXPECT_EQ(checkpoints({{heat::MechHeatSystem{}}, 10, 26'212, 3, 0.005, {}}),
            (std::vector<std::uint64_t>{13'106, 26'212}));
  EXPECT_THROW(checkSweepSettings({{}, 10, 5, 3, {}, {}}), std::invalid_argument);
  EXPECT_THROW(checkSweepSettings(
                   {std::vector<Design>(kMaxDesigns + 1, heat::MechHeatSystem{}), 10, 5, 3, {}, {}}),
               std::invalid_argument);
  EXPECT_NO_THROW(
      checkSweepSettings({std::vector<Design>(kMaxDesigns, heat::MechHeatSystem{}), 10, 5, 3, {}, {}}));
  EXPECT_THROW(checkSweepSettings({{heat::MechHeatSystem{}}, 10, 5, 3, 0.0, {}}),
               std::invalid_argument);
  EXPECT_THROW(checkSweepSettings({{heat::MechHeatSystem{}}, 10, 5, 3, 0.51, {}}),
               std::invalid_argument);
}

}  // namespace
}  // namespace simulation
