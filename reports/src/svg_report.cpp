#include "reports/svg_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <ostream>
#include <string>

namespace reports {
namespace {

// About this many bars in the final heat's distribution.
constexpr int kHistogramBars = 40;

std::string mechText(const heat::MechHeatSystem& mech) {
  return std::to_string(mech.heatsinkCount) + " " +
         std::string{heatsinkTypeName(mech.heatsinkType)} + " heatsinks, " +
         std::to_string(mech.coolantLiters) + " liters, starting in " +
         environmentWords(mech.environment);
}

charts::Share shareOf(const Estimate& estimate) {
  return charts::Share{estimate.value, estimate.ci95.low, estimate.ci95.high};
}

// The final heat's distribution in bars of a round width.
std::vector<charts::HeatBin> finalHeatBins(const simulation::HeatHistogram& heat) {
  const double width = charts::niceTicks(0.0, std::max(heat.max(), 1.0), kHistogramBars).step;
  const auto bars = static_cast<std::size_t>(std::floor(heat.max() / width)) + 1;
  std::vector<std::uint64_t> counts(bars);
  const std::vector<std::uint64_t>& bins = heat.bins();
  for (std::size_t bin = 0; bin < bins.size(); ++bin) {
    // A fine bin lies inside one bar but for a hair; its middle decides.
    const double middle = std::midpoint(simulation::HeatHistogram::lowEdge(bin),
                                        simulation::HeatHistogram::highEdge(bin));
    counts[std::min(bars - 1, static_cast<std::size_t>(std::floor(middle / width)))] += bins[bin];
  }
  const auto runs = static_cast<double>(heat.count());
  std::vector<charts::HeatBin> drawn;
  std::uint64_t below = 0;
  for (std::size_t bar = 0; bar < bars; ++bar) {
    const double low = width * static_cast<double>(bar);
    drawn.push_back(charts::HeatBin{low, low + width, static_cast<double>(counts[bar]) / runs,
                                    1.0 - static_cast<double>(below) / runs});
    below += counts[bar];
  }
  return drawn;
}

// A sweep chart's series: each combination of what varies but the swept
// number, or when nothing does the mech's type and environment.
std::string seriesLabel(const heat::MechHeatSystem& mech, bool byType, bool byCoolant,
                        bool byEnvironment) {
  std::vector<std::string> parts;
  if (byType) {
    parts.emplace_back(heatsinkTypeName(mech.heatsinkType));
  }
  if (byCoolant) {
    parts.push_back(std::to_string(mech.coolantLiters) + " liters");
  }
  if (byEnvironment || parts.empty()) {
    if (!byEnvironment) {
      parts.emplace_back(heatsinkTypeName(mech.heatsinkType));
    }
    parts.push_back(environmentWords(mech.environment));
  }
  std::string label = parts.front();
  for (std::size_t part = 1; part < parts.size(); ++part) {
    label += ", " + parts[part];
  }
  return label;
}

}  // namespace

charts::BatchChart batchChart(const simulation::BatchResult& result) {
  const Summary summary = summarize(result);
  const simulation::BatchSettings& settings = result.settings;
  charts::BatchChart chart;
  chart.title = std::to_string(settings.runs) + " runs of " + std::to_string(settings.turns) +
                " turns: " + mechText(settings.mech);
  chart.description = "Seed " + std::to_string(settings.seed) + ".";
  for (const TurnSummary& turn : summary.perTurn) {
    if (!turn.heat) {
      continue;
    }
    const HeatPercentiles& heat = *turn.heat;
    chart.turns.push_back(charts::TurnPoint{turn.turn, heat.p10, heat.p25, heat.p50, heat.p75,
                                            heat.p90, shareOf(turn.overheated),
                                            shareOf(turn.critical), shareOf(turn.everOverheated)});
  }
  chart.finalHeat = finalHeatBins(result.tally.finalHeat);
  return chart;
}

charts::SweepChart sweepChart(const simulation::SweepResult& result, const ReportOptions& options) {
  std::vector<Summary> summaries;
  for (const simulation::BatchResult& design : result.designs) {
    summaries.push_back(summarize(design));
  }
  const auto varies = [&](auto field) {
    return std::ranges::any_of(summaries, [&](const Summary& summary) {
      return field(summary.settings.mech) != field(summaries.front().settings.mech);
    });
  };
  const auto heatsinks = [](const heat::MechHeatSystem& mech) { return mech.heatsinkCount; };
  const auto coolant = [](const heat::MechHeatSystem& mech) { return mech.coolantLiters; };
  const auto type = [](const heat::MechHeatSystem& mech) { return mech.heatsinkType; };
  const auto environment = [](const heat::MechHeatSystem& mech) { return mech.environment; };
  // The swept number is the heatsinks, unless only the coolant is swept.
  const bool alongCoolant = !varies(heatsinks) && varies(coolant);
  charts::SweepChart chart;
  chart.xLabel = alongCoolant ? "Coolant (liters)" : "Heatsinks";
  chart.title = "Ever overheated within " + std::to_string(result.settings.turns) + " turns, by " +
                (alongCoolant ? "coolant" : "heatsinks");
  chart.description = std::to_string(summaries.size()) + " designs, each " +
                      std::to_string(result.runs) + " runs on the same runs, seed " +
                      std::to_string(result.settings.seed) + ".";
  chart.maxOverheat = options.maxOverheat;
  std::vector<bool> picked(summaries.size());
  if (options.maxOverheat) {
    for (const Enough& enough : enoughDesigns(summaries, *options.maxOverheat)) {
      if (enough.design) {
        picked[*enough.design] = true;
      }
    }
  }
  for (std::size_t design = 0; design < summaries.size(); ++design) {
    const heat::MechHeatSystem& mech = summaries[design].settings.mech;
    const std::string label =
        seriesLabel(mech, varies(type), !alongCoolant && varies(coolant), varies(environment));
    auto series = std::ranges::find(chart.series, label, &charts::SweepSeries::label);
    if (series == chart.series.end()) {
      series = chart.series.insert(chart.series.end(), charts::SweepSeries{label, {}});
    }
    series->points.push_back(charts::SweepPoint{
        static_cast<double>(alongCoolant ? mech.coolantLiters : mech.heatsinkCount),
        shareOf(summaries[design].everOverheated), picked[design]});
  }
  return chart;
}

charts::RunChart runChart(const simulation::BatchSettings& settings,
                          const std::vector<simulation::TurnRecord>& record) {
  charts::RunChart chart;
  chart.title =
      "One run of " + std::to_string(settings.turns) + " turns: " + mechText(settings.mech);
  // Long runs show evenly spaced turns.
  const std::vector<int> shown = simulation::chartedTurns(settings.turns);
  if (shown.size() < record.size()) {
    chart.description =
        "Every " + std::to_string(record.size() / shown.size()) + "th turn or so is shown.";
  }
  heat::Environment current = settings.mech.environment;
  for (const int turn : shown) {
    const simulation::TurnRecord& played = record[static_cast<std::size_t>(turn - 1)];
    std::optional<std::string> movedTo;
    // The first turn shows where the mech is; later ones where it went.
    if (turn == shown.front() || (played.movedTo && *played.movedTo != current)) {
      current = played.movedTo.value_or(current);
      movedTo = environmentWords(current);
    }
    chart.turns.push_back(
        charts::RunTurn{turn, played.heat, movedTo, played.coolantDrawn, played.damagePercent});
  }
  return chart;
}

void printSvg(std::ostream& out, const simulation::SweepResult& result,
              const ReportOptions& options) {
  if (result.designs.size() == 1) {
    charts::writeBatchChart(out, batchChart(result.designs.front()));
  } else {
    charts::writeSweepChart(out, sweepChart(result, options));
  }
}

void printRunSvg(std::ostream& out, const simulation::BatchSettings& settings,
                 const std::vector<simulation::TurnRecord>& record) {
  charts::writeRunChart(out, runChart(settings, record));
}

}  // namespace reports
