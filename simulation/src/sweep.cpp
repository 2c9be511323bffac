#include "simulation/sweep.hpp"

#include <algorithm>
#include <numeric>

#include "simulation/refuse.hpp"
#include "simulation/statistics.hpp"

namespace simulation {

void checkSweepSettings(const SweepSettings& settings) {
  if (settings.designs.empty() || settings.designs.size() > kMaxDesigns) {
    refuse("sweep settings: designs must be 1 to 10000");
  }
  if (settings.margin && !(*settings.margin > 0.0 && *settings.margin <= 0.5)) {
    refuse("sweep settings: margin must be above 0 and at most 0.5");
  }
  for (std::size_t design = 0; design < settings.designs.size(); ++design) {
    checkBatchSettings(designBatch(settings, design, settings.runs));
  }
  if (settings.versus) {
    const std::vector<std::size_t>& baselines = settings.versus->baselines;
    if (baselines.size() != settings.designs.size() ||
        !std::ranges::all_of(baselines, [&](std::size_t baseline) {
          return baseline < baselines.size() && baselines[baseline] == baseline;
        })) {
      refuse("sweep settings: versus must give each design a baseline that is its own");
    }
  }
}

std::uint64_t sweepMemory(const SweepSettings& settings) {
  std::vector<std::uint64_t> tallies;
  for (std::size_t design = 0; design < settings.designs.size(); ++design) {
    // GCOVR_EXCL_BR_START: the clean-up of the design's rules, were they to throw
    tallies.push_back(tallyMemory(designBatch(settings, design, settings.runs)));
    // GCOVR_EXCL_BR_STOP
  }
  std::uint64_t largest = 0;
  for (const std::vector<std::size_t>& group : designGroups(settings)) {
    std::uint64_t bytes = 0;
    for (const std::size_t design : group) {
      bytes += tallies[design];
    }
    largest = std::max(largest, bytes);
  }
  // Those being played may have grown their histograms to twice their size;
  // designs compared keep two runs' outcomes of a block.
  const std::uint64_t outcomes =
      settings.versus ? 2 * BatchBlocks{settings.turns, settings.runs}.runsPerBlock() *
                            (sizeof(std::uint8_t) + sizeof(double))
                      : 0;
  return std::accumulate(tallies.begin(), tallies.end(), std::uint64_t{0}) + 2 * largest + outcomes;
}

BatchSettings designBatch(const SweepSettings& settings, std::size_t design, std::uint64_t runs) {
  const auto charted =
      std::clamp<std::size_t>(kMaxChartedTurnsInAll / settings.designs.size(), 1, kMaxChartedTurns);
  return BatchSettings{
      settings.designs[design].mech, settings.turns, runs, settings.seed, static_cast<int>(charted),
      settings.designs[design].rules};
}

std::vector<std::uint64_t> checkpoints(const SweepSettings& settings) {
  if (!settings.margin) {
    return {settings.runs};
  }
  const BatchBlocks blocks{settings.turns, settings.runs};
  std::vector<std::uint64_t> counts;
  for (std::uint64_t runs = blocks.blocksFor(kFirstMarginCheck) * blocks.runsPerBlock();
       runs < settings.runs; runs *= 2) {
    counts.push_back(runs);
  }
  counts.push_back(settings.runs);
  return counts;
}

bool withinMargin(const BatchTally& tally, double margin) {
  const auto known = [&](std::uint64_t count) {
    const double share = static_cast<double>(count) / static_cast<double>(tally.runs);
    return within(shareInterval(count, tally.runs), share, margin);
  };
  return std::ranges::all_of(tally.perTurn, [&](const TurnTally& turn) {
    return known(turn.overheated) && known(turn.critical) && known(turn.coolantEmpty) &&
           known(turn.everOverheated) && known(turn.everCritical);
  });
}

Differences differences(const BatchTally& design) {
  const PairedTally& paired = design.versus;
  const TurnTally& mine = design.perTurn.back();
  const auto share = [&](Outcome outcome, std::uint64_t count) {
    const auto index = static_cast<std::size_t>(outcome);
    const std::uint64_t onlyThis = paired.onlyThis.at(index);
    const std::uint64_t onlyBaseline = paired.onlyBaseline.at(index);
    const std::uint64_t both = count - onlyThis;
    return Difference{(static_cast<double>(onlyThis) - static_cast<double>(onlyBaseline)) /
                          static_cast<double>(paired.runs),
                      pairedDifferenceInterval(both, onlyThis, onlyBaseline,
                                               paired.runs - both - onlyThis - onlyBaseline)};
  };
  return {share(Outcome::EverOverheated, mine.everOverheated),
          share(Outcome::EverCritical, mine.everCritical),
          share(Outcome::Overheated, mine.overheated),
          Difference{paired.differenceSum / static_cast<double>(paired.runs),
                     meanInterval(paired.differenceSum, paired.differenceSquares, paired.runs)}};
}

std::vector<std::vector<std::size_t>> designGroups(const SweepSettings& settings) {
  // Without designs compared, each design is its own baseline.
  const auto baselineOf = [&](std::size_t design) {
    return settings.versus ? settings.versus->baselines[design] : design;
  };
  std::vector<std::vector<std::size_t>> groups;
  std::vector<std::size_t> groupOf(settings.designs.size());
  for (std::size_t design = 0; design < settings.designs.size(); ++design) {
    if (baselineOf(design) == design) {
      groupOf[design] = groups.size();
      groups.push_back({design});
    }
  }
  for (std::size_t design = 0; design < settings.designs.size(); ++design) {
    if (baselineOf(design) != design) {
      groups[groupOf[baselineOf(design)]].push_back(design);
    }
  }
  return groups;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a range, first and end
std::vector<BatchTally> playGroup(const SweepSettings& settings,
                                  const std::vector<std::size_t>& group, std::uint64_t first,
                                  std::uint64_t end, const RunPlayer& playRuns) {
  std::vector<BatchTally> tallies;
  tallies.reserve(group.size());
  // The baseline's outcomes stay while the designs compared with it play.
  RunOutcomes baseline;
  RunOutcomes outcomes;
  for (const std::size_t design : group) {
    const bool isBaseline = tallies.empty();
    RunOutcomes* played = !settings.versus ? nullptr : isBaseline ? &baseline : &outcomes;
    const BatchSettings batch = designBatch(settings, design, settings.runs);
    tallies.push_back(playRuns ? playRuns(batch, first, end, played)
                               : simulation::playRuns(batch, first, end, played));
    if (played != nullptr) {
      tallies.back().versus = pairRuns(*played, baseline);
    }
  }
  return tallies;
}

void addGroup(std::vector<BatchTally>& tallies, const std::vector<std::size_t>& group,
              const std::vector<BatchTally>& played) {
  for (std::size_t member = 0; member < group.size(); ++member) {
    tallies[group[member]].add(played[member]);
  }
}

std::uint64_t groupsInFlight(const SweepSettings& settings, unsigned players) {
  constexpr std::uint64_t kTallyMemory = std::uint64_t{256} << 20U;
  std::size_t largestGroup = 1;
  for (const std::vector<std::size_t>& group : designGroups(settings)) {
    largestGroup = std::max(largestGroup, group.size());
  }
  const std::uint64_t tallyBytes =
      sizeof(TurnTally) * static_cast<std::uint64_t>(settings.turns) * largestGroup;
  return std::clamp<std::uint64_t>(kTallyMemory / tallyBytes, 1, std::uint64_t{2} * players);
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a range, first and end
void playBlocks(const SweepSettings& settings, std::uint64_t firstBlock, std::uint64_t endBlock,
                std::vector<BatchTally>& tallies) {
  const BatchBlocks blocks{settings.turns, settings.runs};
  const std::vector<std::vector<std::size_t>> groups = designGroups(settings);
  for (std::uint64_t block = firstBlock; block < endBlock; ++block) {
    for (const std::vector<std::size_t>& group : groups) {
      addGroup(tallies, group,
               playGroup(settings, group, blocks.firstRun(block), blocks.endRun(block)));
    }
  }
}

namespace {

// Whether every design's differences of shares from its baseline are known
// to within `margin`.
bool differencesWithinMargin(const SweepSettings& settings, const std::vector<BatchTally>& tallies,
                             double margin) {
  const std::vector<std::size_t>& baselines = settings.versus->baselines;
  for (std::size_t design = 0; design < tallies.size(); ++design) {
    if (baselines[design] == design) {
      continue;  // no different from itself
    }
    const Differences found = differences(tallies[design]);
    for (const Difference& share : {found.everOverheated, found.everCritical, found.overheated}) {
      if (!within(share.ci95, share.value, margin)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

namespace {

std::vector<std::uint64_t> checkedCheckpoints(const SweepSettings& settings) {
  checkSweepSettings(settings);
  return checkpoints(settings);
}

}  // namespace

SweepPlay::SweepPlay(SweepSettings settings)
    : blocks_{settings.turns, settings.runs},
      checkpoints_{checkedCheckpoints(settings)},
      tallies_(settings.designs.size()),
      result_{std::move(settings), 0, false, {}} {}

std::pair<std::uint64_t, std::uint64_t> SweepPlay::stage() const {
  if (over()) {
    return {0, 0};
  }
  return {checkpoint_ == 0 ? 0 : blocks_.blocksFor(checkpoints_[checkpoint_ - 1]),
          blocks_.blocksFor(checkpoints_[checkpoint_])};
}

void SweepPlay::endStage() {
  const SweepSettings& played = settings();
  result_.runs = checkpoints_[checkpoint_++];
  result_.marginMet =
      played.margin &&
      std::ranges::all_of(
          tallies_, [&](const BatchTally& tally) { return withinMargin(tally, *played.margin); }) &&
      (!played.versus || differencesWithinMargin(played, tallies_, *played.margin));
}

bool SweepPlay::over() const { return result_.marginMet || checkpoint_ == checkpoints_.size(); }

SweepResult SweepPlay::result() && {
  for (std::size_t design = 0; design < tallies_.size(); ++design) {
    result_.designs.push_back(BatchResult{designBatch(result_.settings, design, result_.runs),
                                          std::move(tallies_[design])});
  }
  return std::move(result_);
}

SweepResult playSweep(const SweepSettings& settings, const BlockPlayer& player) {
  SweepPlay play{settings};
  for (; !play.over(); play.endStage()) {
    const auto [first, end] = play.stage();
    player(play.settings(), first, end, play.tallies());
  }
  return std::move(play).result();
}

}  // namespace simulation
