#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <utility>
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

TEST(Intervals, FollowNewcombesScoreMethodForPairedShares) {
  struct Case {
    std::uint64_t both, onlyFirst, onlySecond, neither;
    double low, high;
  };
  // Worked out apart: each share's Wilson interval, the flags' correlation
  // moved n/2 towards 0 (to 0 within n/2 above 0), squared and added.
  const Case cases[] = {
      {14, 5, 0, 22, 0.011483241, 0.22649268},      // the correlation moved by n/2
      {10, 10, 10, 11, -0.20691223, 0.20691223},    // within n/2 above 0: none
      {2, 30, 40, 3, -0.33836417, 0.084242829},     // negative, as it is
      {0, 30, 40, 0, -0.36129382, 0.090443269},     // no run with both
      {40, 0, 0, 60, -0.020607662, 0.020607662},    // every run alike
      {100, 0, 0, 0, -0.036993498, 0.036993498},    // every run flagged: no correlation
      {0, 3, 0, 997, -0.0013082917, 0.0087830141},  // rare
      {0, 0, 3, 997, -0.0087830141, 0.0013082917},  // rare in the second
      {5, 0, 95, 0, -0.97845632, -0.8780164},       // the second in every run
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.both << " " << c.onlyFirst << " " << c.onlySecond);
    const Interval interval =
        pairedDifferenceInterval(c.both, c.onlyFirst, c.onlySecond, c.neither);
    EXPECT_NEAR(interval.low, c.low, 1e-8);
    EXPECT_NEAR(interval.high, c.high, 1e-8);
  }
  // A design's tally gives the cells: 19 of 41 runs overheated, 5 of them
  // alone, as its baseline was in none alone.
  BatchTally tally;
  tally.perTurn.resize(1);
  tally.perTurn[0].overheated = 19;
  tally.versus.runs = 41;
  tally.versus.onlyThis[static_cast<std::size_t>(Outcome::Overheated)] = 5;
  const Difference overheated = differences(tally).overheated;
  EXPECT_NEAR(overheated.value, 5.0 / 41.0, 1e-15);
  EXPECT_NEAR(overheated.ci95.low, cases[0].low, 1e-8);
  EXPECT_NEAR(overheated.ci95.high, cases[0].high, 1e-8);
}

TEST(Intervals, HoldThePairedDifferenceInNineteenBatchesOfTwenty) {
  // A mech that cannot cool, over two turns: overheated above 50 rather than
  // 60, it overheats in 563 more runs of 3600 (the two heats adding up to 51
  // to 60), and in none fewer. With 3 heatsinks its final heat is lower by
  // what a much larger batch finds.
  heat::MechHeatSystem mech;
  mech.heatsinkCount = 0;
  mech.coolantLiters = 0;
  Rules lower;
  lower.cooling.overheatAbove = 50.0;
  heat::MechHeatSystem cooled = mech;
  cooled.heatsinkCount = 3;
  const auto sweep = [&](std::uint64_t runs, std::uint32_t seed) {
    return playSweep({{mech, {mech, lower}, cooled}, 2, runs, seed, {}, Versus{"", "", {0, 0, 0}}});
  };
  const BatchTally reference = sweep(1'000'000, 0).designs[2].tally;
  const double cooling = reference.versus.differenceSum / 1e6;
  int sharesHeld = 0;
  int heatsHeld = 0;
  constexpr int kBatches = 400;
  for (std::uint32_t seed = 1; seed <= kBatches; ++seed) {
    const SweepResult result = sweep(500, seed);
    const Difference share = differences(result.designs[1].tally).everOverheated;
    const Difference heat = differences(result.designs[2].tally).finalHeat;
    sharesHeld += share.ci95.low <= 563.0 / 3600.0 && 563.0 / 3600.0 <= share.ci95.high ? 1 : 0;
    heatsHeld += heat.ci95.low <= cooling && cooling <= heat.ci95.high ? 1 : 0;
  }
  for (const int held : {sharesHeld, heatsHeld}) {
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
  const PairedTally& paired = tally.versus;
  bits.insert(bits.end(), {paired.runs, std::bit_cast<std::uint64_t>(paired.differenceSum),
                           std::bit_cast<std::uint64_t>(paired.differenceSquares)});
  bits.insert(bits.end(), paired.onlyThis.begin(), paired.onlyThis.end());
  bits.insert(bits.end(), paired.onlyBaseline.begin(), paired.onlyBaseline.end());
  return bits;
}

std::vector<std::uint64_t> bitsOf(const SweepResult& sweep) {
  std::vector<std::uint64_t> bits{sweep.runs, sweep.marginMet ? 1U : 0U};
  for (const BatchResult& design : sweep.designs) {
    const std::vector<std::uint64_t> more = bitsOf(design.tally);
    bits.insert(bits.end(), more.begin(), more.end());
  }
  return bits;
}

// The sweep played as the web page's workers play it: a stage at a time,
// its blocks in order, each group's tallies of a block added to its designs'.
SweepResult playByHand(const SweepSettings& settings) {
  SweepPlay play{settings};
  const BatchBlocks blocks{settings.turns, settings.runs};
  for (; !play.over(); play.endStage()) {
    for (auto [block, end] = play.stage(); block < end; ++block) {
      for (const std::vector<std::size_t>& group : designGroups(settings)) {
        addGroup(play.tallies(), group,
                 playGroup(settings, group, blocks.firstRun(block), blocks.endRun(block)));
      }
    }
  }
  EXPECT_EQ(play.stage(), (std::pair<std::uint64_t, std::uint64_t>{}));  // none once over
  return std::move(play).result();
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
  EXPECT_EQ(bitsOf(playByHand(settings)), bitsOf(sweep));
  for (std::size_t design = 0; design < 3; ++design) {
    SCOPED_TRACE(design);
    const BatchResult alone = playBatch({settings.designs[design].mech, 12, 7'000, 21});
    EXPECT_EQ(bitsOf(sweep.designs[design].tally), bitsOf(alone.tally));
  }
}

TEST(Sweep, PairsEveryDesignWithTheSameRunsOfItsBaseline) {
  // Against single heatsinks of the same count, over runs of four blocks, the
  // last one short: what the runs played one at a time add up to, bit for bit.
  const auto mech = [](std::int32_t heatsinks, heat::HeatsinkType type) {
    heat::MechHeatSystem made;
    made.heatsinkCount = heatsinks;
    made.heatsinkType = type;
    return made;
  };
  using enum heat::HeatsinkType;
  const SweepSettings settings{
      {mech(8, Single), mech(8, Double), mech(16, Single), mech(16, Double)},
      10,
      20'000,
      5,
      {},
      Versus{"heatsink-type", "single", {0, 0, 2, 2}}};
  ASSERT_EQ(BatchBlocks(10, 20'000).count(), 4U);
  const SweepResult result = playSweep(settings);
  EXPECT_EQ(bitsOf(playByHand(settings)), bitsOf(result));
  // Each run alone: its flags as counts of one, and its final heat, the hottest.
  struct Alone {
    std::array<std::uint64_t, kOutcomeCount> flags;
    double heat;
  };
  std::vector<std::vector<Alone>> runs(4);
  for (std::size_t design = 0; design < 4; ++design) {
    for (std::uint64_t run = 0; run < 20'000; ++run) {
      const BatchTally tally = playRuns(designBatch(settings, design, 20'000), run, run + 1);
      const TurnTally& last = tally.perTurn.back();
      runs[design].push_back(
          {{last.everOverheated, last.everCritical, last.overheated}, tally.hottest.finalHeat});
    }
  }
  const BatchBlocks blocks{10, 20'000};
  for (std::size_t design = 0; design < 4; ++design) {
    SCOPED_TRACE(design);
    PairedTally expected;
    for (std::uint64_t block = 0; block < blocks.count(); ++block) {
      // The sums of a block, added to those of the blocks before.
      double sum = 0.0;
      double squares = 0.0;
      for (std::uint64_t run = blocks.firstRun(block); run < blocks.endRun(block); ++run) {
        const Alone& mine = runs[design][run];
        const Alone& theirs = runs[design & 2U][run];
        for (std::size_t flag = 0; flag < kOutcomeCount; ++flag) {
          expected.onlyThis.at(flag) += mine.flags.at(flag) * (1 - theirs.flags.at(flag));
          expected.onlyBaseline.at(flag) += theirs.flags.at(flag) * (1 - mine.flags.at(flag));
        }
        sum += mine.heat - theirs.heat;
        squares += (mine.heat - theirs.heat) * (mine.heat - theirs.heat);
      }
      expected.differenceSum += sum;
      expected.differenceSquares += squares;
    }
    const PairedTally& paired = result.designs[design].tally.versus;
    EXPECT_EQ(paired.runs, 20'000U);
    EXPECT_EQ(paired.onlyThis, expected.onlyThis);
    EXPECT_EQ(paired.onlyBaseline, expected.onlyBaseline);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(paired.differenceSum),
              std::bit_cast<std::uint64_t>(expected.differenceSum));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(paired.differenceSquares),
              std::bit_cast<std::uint64_t>(expected.differenceSquares));
  }
  EXPECT_GT(result.designs[3].tally.versus.onlyBaseline[0], 0U);  // single heatsinks alone do
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

TEST(Sweep, KeepsAsManyGroupsInFlightAsTheirTalliesLeaveRoomFor) {
  struct Case {
    int turns = 0;
    std::optional<Versus> versus;
    unsigned players = 0;
    std::uint64_t groups = 0;
  };
  // 256 MB of 56-byte turn tallies: 4.79 million turns of one design, 1.6
  // million each of a group of three.
  const Versus three{"", "", {0, 0, 0, 3}};
  const Case cases[] = {{10, {}, 3, 6},
                        {1'000'000, {}, 8, 4},
                        {500'000, three, 8, 3},
                        {10'000'000, {}, 8, 1},
                        {10, three, 1, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.turns);
    const SweepSettings settings{
        std::vector<Design>(4, heat::MechHeatSystem{}), c.turns, 1, 0, {}, c.versus};
    EXPECT_EQ(groupsInFlight(settings, c.players), c.groups);
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
    EXPECT_EQ(bitsOf(playByHand(settings)), bitsOf(result));
    // The very numbers of a plain batch of as many runs.
    EXPECT_EQ(bitsOf(result.designs[0].tally),
              bitsOf(playBatch({heat::MechHeatSystem{}, 10, c.runs, 3}).tally));
  }
  heat::MechHeatSystem cool;
  cool.heatsinkCount = 30;
  // Made-up blocks: half of the runs overheated at the end, and a design that
  // differs from its baseline in a quarter of the runs each way. The shares
  // are within 1 % at the first check, the difference only at the second.
  std::size_t differing = 0;  // the Outcome that differs
  const BlockPlayer halves = [&differing](const SweepSettings& played, std::uint64_t first,
                                          std::uint64_t end, std::vector<BatchTally>& tallies) {
    const BatchBlocks blocks{played.turns, played.runs};
    for (BatchTally& tally : tallies) {
      BatchTally block;
      block.runs = blocks.endRun(end - 1) - blocks.firstRun(first);
      block.perTurn.resize(1);
      block.perTurn[0].overheated = block.perTurn[0].everOverheated =
          block.perTurn[0].everCritical = block.runs / 2;
      block.versus.runs = block.runs;
      if (&tally != &tallies.front()) {
        block.versus.onlyThis.at(differing) = block.runs / 4;
      }
      block.versus.onlyBaseline = block.versus.onlyThis;
      tally.add(block);
    }
  };
  for (differing = 0; differing < kOutcomeCount; ++differing) {
    for (const auto& [versus, runs] :
         {std::pair{std::optional<Versus>{}, 13'106U},
          std::pair{std::optional{Versus{"heatsinks", "10", {0, 0}}}, 26'212U}}) {
      const SweepSettings made{{heat::MechHeatSystem{}, cool}, 10, 100'000, 3, 0.01, versus};
      EXPECT_EQ(playSweep(made, halves).runs, runs) << differing;
    }
  }
  const SweepSettings settings{{heat::MechHeatSystem{}}, 10, 200'000, 3, 0.005, {}};
  EXPECT_EQ(checkpoints(settings),
            (std::vector<std::uint64_t>{13'106, 26'212, 52'424, 104'848, 200'000}));
  // The most runs on a check itself: checked once.
  EXPECT_EQ(checkpoints({{heat::MechHeatSystem{}}, 10, 26'212, 3, 0.005, {}}),
            (std::vector<std::uint64_t>{13'106, 26'212}));
  EXPECT_THROW(checkSweepSettings({{}, 10, 5, 3, {}, {}}), std::invalid_argument);
  EXPECT_THROW(
      checkSweepSettings(
          {std::vector<Design>(kMaxDesigns + 1, heat::MechHeatSystem{}), 10, 5, 3, {}, {}}),
      std::invalid_argument);
  EXPECT_NO_THROW(checkSweepSettings(
      {std::vector<Design>(kMaxDesigns, heat::MechHeatSystem{}), 10, 5, 3, {}, {}}));
  EXPECT_THROW(checkSweepSettings({{heat::MechHeatSystem{}}, 10, 5, 3, 0.0, {}}),
               std::invalid_argument);
  // Baselines for each design, each its own baseline.
  for (const std::vector<std::size_t>& baselines :
       {std::vector<std::size_t>{0}, std::vector<std::size_t>{1, 0}, {0, 2}}) {
    EXPECT_THROW(checkSweepSettings({{heat::MechHeatSystem{}, heat::MechHeatSystem{}},
                                     10,
                                     5,
                                     3,
                                     {},
                                     Versus{"heatsinks", "10", baselines}}),
                 std::invalid_argument);
  }
  EXPECT_THROW(checkSweepSettings({{heat::MechHeatSystem{}}, 10, 5, 3, 0.51, {}}),
               std::invalid_argument);
}

}  // namespace
}  // namespace simulation
