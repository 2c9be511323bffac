#include "simulation/sweep.hpp"

#include <algorithm>

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
}

std::uint64_t sweepMemory(const SweepSettings& settings) {
  std::uint64_t bytes = 0;
  std::uint64_t largest = 0;
  for (std::size_t design = 0; design < settings.designs.size(); ++design) {
    // GCOVR_EXCL_BR_START: the clean-up of the design's rules, were they to throw
    const std::uint64_t tally = tallyMemory(designBatch(settings, design, settings.runs));
    // GCOVR_EXCL_BR_STOP
    bytes += tally;
    largest = std::max(largest, tally);
  }
  // Those being played may have grown their histograms to twice their size.
  return bytes + 2 * largest;
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

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a range, first and end
void playBlocks(const SweepSettings& settings, std::uint64_t firstBlock, std::uint64_t endBlock,
                std::vector<BatchTally>& tallies) {
  const BatchBlocks blocks{settings.turns, settings.runs};
  for (std::uint64_t block = firstBlock; block < endBlock; ++block) {
    for (std::size_t design = 0; design < settings.designs.size(); ++design) {
      tallies[design].add(playRuns(designBatch(settings, design, settings.runs),
                                   blocks.firstRun(block), blocks.endRun(block)));
    }
  }
}

SweepResult playSweep(const SweepSettings& settings, const BlockPlayer& player) {
  checkSweepSettings(settings);
  const BatchBlocks blocks{settings.turns, settings.runs};
  std::vector<BatchTally> tallies(settings.designs.size());
  SweepResult result{settings, 0, false, {}};
  std::uint64_t played = 0;  // blocks
  for (const std::uint64_t runs : checkpoints(settings)) {
    const std::uint64_t end = blocks.blocksFor(runs);
    player(settings, played, end, tallies);
    played = end;
    result.runs = runs;
    result.marginMet =
        settings.margin && std::ranges::all_of(tallies, [&](const BatchTally& tally) {
          return withinMargin(tally, *settings.margin);
        });
    if (result.marginMet) {
      break;
    }
  }
  for (std::size_t design = 0; design < tallies.size(); ++design) {
    result.designs.push_back(
        BatchResult{designBatch(settings, design, result.runs), std::move(tallies[design])});
  }
  return result;
}

}  // namespace simulation
