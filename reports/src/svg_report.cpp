#include "reports/svg_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

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

// " Rules: overheat above 50." for a description, when rules differ from the game's.
std::string rulesSentence(const simulation::Rules& rules, const std::vector<std::size_t>& which) {
  // GCOVR_EXCL_BR_START: the strings' clean-up
  return which.empty() ? std::string{} : " Rules: " + rulesWords(rules, which) + ".";
  // GCOVR_EXCL_BR_STOP
}

std::string rulesSentence(const simulation::Rules& rules) {
  return rulesSentence(rules, changedRules(rules));
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

// Something a sweep varies, as its chart names it: each design's value as words (a category
// on a categorical axis, a part of a series' label) and, on a numeric axis, as a number.
struct Swept {
  std::string axisLabel;  // Under the x axis.
  std::string byWords;    // In the title: "by heatsinks".
  bool numeric = false;
  std::vector<double> numbers;             // Each design's, when numeric.
  std::vector<std::string> names;          // Each design's.
  std::vector<std::string> distinctNames;  // In the order the designs first take them.
};

Swept named(std::string axisLabel, std::string byWords) {
  Swept what;
  what.axisLabel = std::move(axisLabel);
  what.byWords = std::move(byWords);
  return what;
}

template <typename Name>
Swept valuesOf(const std::vector<Summary>& designs, Swept what, Name name) {
  for (const Summary& design : designs) {
    what.names.push_back(name(design.settings));
    if (std::ranges::find(what.distinctNames, what.names.back()) == what.distinctNames.end()) {
      what.distinctNames.push_back(what.names.back());
    }
  }
  return what;
}

// A count of something, a number on its axis and "12 heatsinks" in a label.
template <typename Count>
Swept countsOf(const std::vector<Summary>& designs, Swept what, std::string_view unit,
               Count count) {
  what.numeric = true;
  for (const Summary& design : designs) {
    what.numbers.push_back(static_cast<double>(count(design.settings.mech)));
  }
  return valuesOf(designs, std::move(what), [&](const simulation::BatchSettings& settings) {
    return std::to_string(count(settings.mech)) + std::string(unit);
  });
}

// A rule that differs between the designs: a number on its axis, or a list as a category,
// and "heat.max 69" in a label.
Swept ruleOf(const std::vector<Summary>& designs, std::size_t rule) {
  const std::string_view name = simulation::kRuleNames.at(rule).name;
  Swept what = named(std::string{name}, std::string{name});
  what.numeric = simulation::kRuleNames.at(rule).type != simulation::RuleType::WholeList;
  for (const Summary& design : designs) {
    const simulation::RuleValue value = simulation::ruleValue(design.settings.rules, rule);
    std::visit(
        [&](const auto& held) {
          if constexpr (std::is_arithmetic_v<std::decay_t<decltype(held)>>) {
            what.numbers.push_back(static_cast<double>(held));
          }
        },
        value);
  }
  return valuesOf(designs, std::move(what), [&](const simulation::BatchSettings& settings) {
    return std::string{name} + " " + ruleArgument(simulation::ruleValue(settings.rules, rule));
  });
}

// What a sweep can vary, in the order of a series' label: the mech, then the rules that
// differ between designs.
std::vector<Swept> everythingSwept(const std::vector<Summary>& designs,
                                   const std::vector<std::size_t>& varyingRules) {
  std::vector<Swept> swept;
  swept.push_back(countsOf(designs, named("Heatsinks", "heatsinks"), " heatsinks",
                           [](const heat::MechHeatSystem& mech) { return mech.heatsinkCount; }));
  swept.push_back(valuesOf(designs, named("Heatsink type", "heatsink type"),
                           [](const simulation::BatchSettings& settings) {
                             return std::string(heatsinkTypeName(settings.mech.heatsinkType));
                           }));
  swept.push_back(countsOf(designs, named("Coolant (liters)", "coolant"), " liters",
                           [](const heat::MechHeatSystem& mech) { return mech.coolantLiters; }));
  swept.push_back(valuesOf(designs, named("Environment", "environment"),
                           [](const simulation::BatchSettings& settings) {
                             return environmentWords(settings.mech.environment);
                           }));
  for (const std::size_t rule : varyingRules) {
    swept.push_back(ruleOf(designs, rule));
  }
  return swept;
}

// The x axis is what takes the most values; of as many, a number before a category, then
// the first.
std::size_t alongWhat(const std::vector<Swept>& swept) {
  const auto rank = [](const Swept& s) { return std::pair{s.distinctNames.size(), s.numeric}; };
  return static_cast<std::size_t>(
      std::ranges::max_element(swept,
                               [&](const Swept& a, const Swept& b) { return rank(a) < rank(b); }) -
      swept.begin());
}

// A design's series: what else the sweep varies, or when nothing else does, its categories
// (of those not along the x axis).
std::string seriesLabel(const std::vector<Swept>& others, std::size_t design) {
  const auto partsOf = [&](auto keep) {
    std::vector<std::string> parts;
    for (const Swept& other : others) {
      if (keep(other)) {
        parts.push_back(other.names[design]);
      }
    }
    return parts;
  };
  std::vector<std::string> parts =
      partsOf([](const Swept& s) { return s.distinctNames.size() > 1; });
  if (parts.empty()) {
    parts = partsOf([](const Swept& s) { return !s.numeric; });
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
  chart.description = "Seed " + std::to_string(settings.seed) + "." + rulesSentence(settings.rules);
  chart.overheatLevel = settings.rules.cooling.overheatAbove;
  chart.criticalLevel = settings.rules.cooling.criticalAbove;
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
  const SweptRules rules = sweptRules(result);
  std::vector<Swept> others = everythingSwept(summaries, rules.varying);
  const auto along = others.begin() + static_cast<std::ptrdiff_t>(alongWhat(others));
  const Swept x = *along;
  others.erase(along);
  charts::SweepChart chart;
  chart.xLabel = x.axisLabel;
  if (!x.numeric) {
    chart.xCategories = x.distinctNames;
  }
  chart.title =
      "Ever overheated within " + std::to_string(result.settings.turns) + " turns, by " + x.byWords;
  chart.description = std::to_string(summaries.size()) + " designs, each " +
                      std::to_string(result.runs) + " runs on the same runs, seed " +
                      std::to_string(result.settings.seed) + ".";
  chart.description += rulesSentence(summaries.front().settings.rules, rules.shared);
  chart.maxOverheat = options.maxOverheat;
  std::vector<bool> picked(summaries.size());
  if (options.maxOverheat) {
    for (const Enough& enough : enoughDesigns(summaries, *options.maxOverheat)) {
      if (enough.design) {
        picked[*enough.design] = true;
      }
    }
  }
  const std::vector<VersusSummary> versus = versusSummaries(result);
  if (!versus.empty()) {
    chart.versus = result.settings.versus->axis + " " + result.settings.versus->value;
  }
  for (std::size_t design = 0; design < summaries.size(); ++design) {
    const std::string label = seriesLabel(others, design);
    auto series = std::ranges::find(chart.series, label, &charts::SweepSeries::label);
    if (series == chart.series.end()) {
      series = chart.series.insert(chart.series.end(), charts::SweepSeries{label, {}});
    }
    const double at =
        x.numeric ? x.numbers[design]
                  : static_cast<double>(std::ranges::find(x.distinctNames, x.names[design]) -
                                        x.distinctNames.begin());
    series->points.push_back(charts::SweepPoint{
        at, shareOf(summaries[design].everOverheated), picked[design],
        versus.empty() ? charts::Share{} : shareOf(versus[design].everOverheated)});
  }
  return chart;
}

charts::RunChart runChart(const simulation::BatchSettings& settings,
                          const std::vector<simulation::TurnRecord>& record) {
  charts::RunChart chart;
  chart.title =
      "One run of " + std::to_string(settings.turns) + " turns: " + mechText(settings.mech);
  chart.overheatLevel = settings.rules.cooling.overheatAbove;
  chart.criticalLevel = settings.rules.cooling.criticalAbove;
  // Long runs show evenly spaced turns.
  const std::vector<int> shown = simulation::chartedTurns(settings.turns);
  if (shown.size() < record.size()) {
    chart.description =
        "Every " + std::to_string(record.size() / shown.size()) + "th turn or so is shown.";
  }
  const std::string rules = rulesSentence(settings.rules);
  if (!rules.empty()) {
    chart.description += chart.description.empty() ? rules.substr(1) : rules;
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
