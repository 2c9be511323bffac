#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "simulation/batch.hpp"
#include "simulation/statistics.hpp"

// Several designs of a mech played on the same runs: run i of every design
// draws the same numbers, so that differences between designs come from the
// designs, not from luck. Each design's result is exactly that of a plain
// batch of that mech with the same seed and runs.
namespace simulation {

// The most designs one sweep plays.
inline constexpr std::size_t kMaxDesigns = 10'000;

// The fewest runs a margin is first checked at; later checks double it.
inline constexpr std::uint64_t kFirstMarginCheck = 10'000;

// The most turns a sweep keeps histograms of, of all its designs together:
// each design charts kMaxChartedTurns of its turns, or fewer when the designs
// are many, and always its last.
inline constexpr std::size_t kMaxChartedTurnsInAll = 100'000;

// One design: a starting mech and the rules it plays by, the game's own
// unless told otherwise.
struct Design {
  // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions): a mech is a design
  Design(const heat::MechHeatSystem& startingMech, Rules playedBy = {})
      : mech{startingMech}, rules{std::move(playedBy)} {}

  heat::MechHeatSystem mech;
  Rules rules;
};

// Designs compared run by run: each design with its baseline, the design
// that differs from it only in one swept axis, where it takes the baseline
// value. A baseline design is its own baseline.
struct Versus {
  std::string axis;                    // as the user named it, "heatsink-type" or "heat.max"
  std::string value;                   // the baseline value, as given
  std::vector<std::size_t> baselines;  // each design's
};

struct SweepSettings {
  std::vector<Design> designs;
  int turns = kDefaultTurnCount;
  std::uint64_t runs = 1;  // of each design; with a margin, the most
  std::uint32_t seed = 0;
  // Plays runs until every share's 95 % interval, of every design, lies
  // within this much on both sides of its estimate; and so do the
  // differences of shares from the baselines.
  std::optional<double> margin;
  std::optional<Versus> versus;
};

// Throws std::invalid_argument naming the field when the settings describe
// no sweep: no design or too many, a margin outside (0, 0.5], what
// checkBatchSettings refuses in any design, or baselines that are not one
// for each design, each a design that is its own baseline.
void checkSweepSettings(const SweepSettings& settings);

// The most memory, in bytes, that the sweep's tallies can take while it is
// played on the calling thread: each design's, and those of a group of
// designs being played, with their outcomes.
[[nodiscard]] std::uint64_t sweepMemory(const SweepSettings& settings);

// The batch of one design of a sweep, with the given number of runs.
[[nodiscard]] BatchSettings designBatch(const SweepSettings& settings, std::size_t design,
                                        std::uint64_t runs);

// The run counts at which a margin is checked: the first check at least
// kFirstMarginCheck runs, each later one twice the one before, all whole
// blocks, the last one the most runs. Without a margin just the runs.
[[nodiscard]] std::vector<std::uint64_t> checkpoints(const SweepSettings& settings);

// Whether every share of a tally (each turn's overheated, critical, tank
// empty, ever overheated and ever critical) is known to within `margin`.
[[nodiscard]] bool withinMargin(const BatchTally& tally, double margin);

// A design's differences from its baseline, its own less the baseline's,
// from its paired tally (BatchTally::versus): of the shares of the runs ever
// overheated, ever critical and overheated at the end, with Newcombe's
// paired interval, and of the mean final heat. A baseline's own differences
// are exactly 0, Differences{}.
struct Difference {
  double value = 0.0;
  Interval ci95{};
};
struct Differences {
  Difference everOverheated;
  Difference everCritical;
  Difference overheated;
  Difference finalHeat;
};
[[nodiscard]] Differences differences(const BatchTally& design);

// The designs played together, block by block: each baseline first, then the
// designs compared with it; each design alone when none are compared. In the
// order of the baselines.
[[nodiscard]] std::vector<std::vector<std::size_t>> designGroups(const SweepSettings& settings);

// Plays runs [first, end) of a batch; leaves their outcomes in `outcomes`
// unless it is null. Empty: playRuns, with the selected engine.
using RunPlayer = std::function<BatchTally(const BatchSettings& settings, std::uint64_t first,
                                           std::uint64_t end, RunOutcomes* outcomes)>;

// Plays runs [first, end) of a group's designs, each paired with its
// baseline when the sweep compares them: their tallies, in the group's order.
[[nodiscard]] std::vector<BatchTally> playGroup(const SweepSettings& settings,
                                                const std::vector<std::size_t>& group,
                                                std::uint64_t first, std::uint64_t end,
                                                const RunPlayer& playRuns = {});

// Adds a group's tallies of a block, as playGroup gives them, to those of
// its designs.
void addGroup(std::vector<BatchTally>& tallies, const std::vector<std::size_t>& group,
              const std::vector<BatchTally>& played);

// How many groups' blocks may be played or wait to be added at once, on
// `players` players, so that their tallies take about 256 MB at most: at
// least one, at most two for each player.
[[nodiscard]] std::uint64_t groupsInFlight(const SweepSettings& settings, unsigned players);

// Plays blocks [firstBlock, endBlock) of every design and adds each design's
// blocks, in block order, to its tally.
using BlockPlayer = std::function<void(const SweepSettings& settings, std::uint64_t firstBlock,
                                       std::uint64_t endBlock, std::vector<BatchTally>& tallies)>;

// The block player of the calling thread.
void playBlocks(const SweepSettings& settings, std::uint64_t firstBlock, std::uint64_t endBlock,
                std::vector<BatchTally>& tallies);

struct SweepResult {
  SweepSettings settings;
  std::uint64_t runs = 0;            // played of each design
  bool marginMet = false;            // with a margin: whether it was met before the most runs
  std::vector<BatchResult> designs;  // one for each design, in order
};

// A sweep played stage by stage, for players that cannot wait for their
// blocks, as the web page's workers: each stage's blocks are added to the
// tallies in block order, then the stage is ended, which checks the margin.
class SweepPlay {
 public:
  // Checks the settings first.
  explicit SweepPlay(SweepSettings settings);

  [[nodiscard]] const SweepSettings& settings() const { return result_.settings; }
  // The blocks of the stage under way, [first, end); none once it is over.
  [[nodiscard]] std::pair<std::uint64_t, std::uint64_t> stage() const;
  [[nodiscard]] std::vector<BatchTally>& tallies() { return tallies_; }
  void endStage();
  [[nodiscard]] bool over() const;
  // Once it is over.
  [[nodiscard]] SweepResult result() &&;

 private:
  BatchBlocks blocks_;
  std::vector<std::uint64_t> checkpoints_;
  std::size_t checkpoint_ = 0;  // the stage's
  std::vector<BatchTally> tallies_;
  SweepResult result_;
};

// Plays the sweep, checking the settings first; `player` plays the blocks.
[[nodiscard]] SweepResult playSweep(const SweepSettings& settings,
                                    const BlockPlayer& player = playBlocks);

}  // namespace simulation
