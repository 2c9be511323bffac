#include "reports/json_report.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <numeric>
#include <ostream>
#include <string_view>
#include <variant>
#include <vector>

#include "simulation/rules.hpp"

namespace reports {
namespace {

std::string quoted(std::string_view text) { return '"' + std::string{text} + '"'; }

// A JSON object's key, with the colon and space that follow it.
std::string key(std::string_view name) { return quoted(name) + ": "; }

std::string interval(const Estimate& estimate) {
  return std::string{"["} + exactNumber(estimate.ci95.low) + ", " +
         exactNumber(estimate.ci95.high) + "]";
}

// The heat's percentiles after a charted turn, as a key that follows others.
std::string percentilesJson(const std::optional<HeatPercentiles>& heat) {
  if (!heat) {
    return {};
  }
  return ", " + key("heat") + "{" + key("p10") + exactNumber(heat->p10) + ", " + key("p25") +
         exactNumber(heat->p25) + ", " + key("p50") + exactNumber(heat->p50) + ", " + key("p75") +
         exactNumber(heat->p75) + ", " + key("p90") + exactNumber(heat->p90) + "}";
}

std::string turnJson(const TurnSummary& turn) {
  return std::string{"{"} + key("turn") + std::to_string(turn.turn) + ", " + key("overheated") +
         exactNumber(turn.overheated.value) + ", " + key("critical") +
         exactNumber(turn.critical.value) + ", " + key("coolantEmpty") +
         exactNumber(turn.coolantEmpty.value) + ", " + key("everOverheated") +
         exactNumber(turn.everOverheated.value) + ", " + key("everCritical") +
         exactNumber(turn.everCritical.value) + ", " + key("meanHeat") +
         exactNumber(turn.meanHeat.value) + percentilesJson(turn.heat) + ",\n   " + key("ci95") +
         "{" + key("overheated") + interval(turn.overheated) + ", " + key("critical") +
         interval(turn.critical) + ", " + key("coolantEmpty") + interval(turn.coolantEmpty) + ", " +
         key("everOverheated") + interval(turn.everOverheated) + ", " + key("everCritical") +
         interval(turn.everCritical) + ", " + key("meanHeat") + interval(turn.meanHeat) + "}}";
}

// The settings' keys, after "schemaVersion".
std::string runsJson(std::uint64_t runs, int turns, std::uint32_t seed) {
  return key("runs") + std::to_string(runs) + ", " + key("turns") + std::to_string(turns) + ", " +
         key("seed") + std::to_string(seed);
}

// Rules `which` (every rule unless told) by their names, with the values
// they were played with.
std::string rulesJson(const simulation::Rules& rules, const std::vector<std::size_t>& which) {
  std::string json = "{";
  for (const std::size_t rule : which) {
    const simulation::RuleValue value = simulation::ruleValue(rules, rule);
    const auto* number = std::get_if<double>(&value);
    if (json.size() > 1) {
      json += ", ";
    }
    json += key(simulation::kRuleNames.at(rule).name);
    json += number != nullptr ? exactNumber(*number) : simulation::ruleText(value);
  }
  return json + "}";
}

std::string rulesJson(const simulation::Rules& rules) {
  std::vector<std::size_t> every(simulation::kRuleNames.size());
  std::iota(every.begin(), every.end(), std::size_t{0});
  return rulesJson(rules, every);
}

// A batch's object without its closing brace, so that more keys may follow.
// Written piece by piece: a batch of many turns has a long one.
void printBatch(std::ostream& out, const Summary& summary) {
  const simulation::BatchSettings& settings = summary.settings;
  const heat::MechHeatSystem& mech = settings.mech;
  std::string json = std::string{"{"} + key("schemaVersion") + "4, " +
                     runsJson(settings.runs, settings.turns, settings.seed) + ",\n " + key("mech") +
                     "{" + key("heatsinks") + std::to_string(mech.heatsinkCount) + ", " +
                     key("heatsinkType") + quoted(heatsinkTypeName(mech.heatsinkType)) + ", " +
                     key("coolant") + std::to_string(mech.coolantLiters) + ", " +
                     key("environment") + quoted(heat::traitsOf(mech.environment).optionName) +
                     "},\n " + key("rules") + rulesJson(settings.rules) + ",\n " + key("perTurn") +
                     "[";
  out << json;
  for (const TurnSummary& turn : summary.perTurn) {
    out << (turn.turn == 1 ? "\n  " : ",\n  ") << turnJson(turn);
  }
  const FinalHeat& heat = summary.finalHeat;
  json = "],\n " + key("everOverheated") + exactNumber(summary.everOverheated.value) + ", " +
         key("everCritical") + exactNumber(summary.everCritical.value) + ", " + key("damagedOut") +
         exactNumber(summary.damagedOut.value) + ",\n " + key("ci95") + "{" +
         key("everOverheated") + interval(summary.everOverheated) + ", " + key("everCritical") +
         interval(summary.everCritical) + ", " + key("damagedOut") + interval(summary.damagedOut) +
         "},\n " + key("finalHeat") + "{" + key("mean") + exactNumber(heat.mean) + ", " +
         key("median") + exactNumber(heat.median) + ", " + key("p90") + exactNumber(heat.p90) +
         ", " + key("p99") + exactNumber(heat.p99) + ", " + key("max") + exactNumber(heat.max) +
         "},\n " + key("hottestRun") + "{" + key("run") + std::to_string(summary.hottest.run) +
         ", " + key("finalHeat") + exactNumber(summary.hottest.finalHeat) + "}";
  out << json;
}

// A difference from the baseline with its interval.
std::string differenceJson(const Estimate& difference) {
  return std::string{"{"} + key("difference") + exactNumber(difference.value) + ", " + key("ci95") +
         interval(difference) + "}";
}

// A compared design's differences from its baseline, as a key that follows others.
std::string versusJson(const VersusSummary& versus) {
  return ",\n " + key("versus") + "{" + key("design") + std::to_string(versus.baseline) + ", " +
         key("everOverheated") + differenceJson(versus.everOverheated) + ", " +
         key("everCritical") + differenceJson(versus.everCritical) + ", " + key("overheated") +
         differenceJson(versus.overheated) + ", " + key("finalHeat") +
         differenceJson(versus.finalHeat) + "}";
}

// The keys a sweep's settings and options add.
std::string sweepKeys(const simulation::SweepResult& result, const std::vector<Summary>& summaries,
                      const ReportOptions& options) {
  std::string json;
  if (result.settings.margin) {
    json += ",\n " + key("margin") + "{" + key("target") + exactNumber(*result.settings.margin) +
            ", " + key("met") + (result.marginMet ? "true" : "false") + "}";
  }
  if (options.maxOverheat) {
    json += ",\n " + key("maxOverheat") + exactNumber(*options.maxOverheat) + ", " + key("enough") +
            "[";
    std::string_view separator;
    // Designs of several rules are picked from for each of them, which it names.
    const std::vector<std::size_t> varying = sweptRules(result).varying;
    for (const Enough& enough : enoughDesigns(summaries, *options.maxOverheat)) {
      std::string design{"null"};
      if (enough.design) {
        design = std::to_string(*enough.design);
      }
      json += std::string{separator} + "{" + key("environment") +
              quoted(heat::traitsOf(enough.environment).optionName) + ", " + key("design") + design;
      if (!varying.empty()) {
        json += ", " + key("rules") + rulesJson(summaries[enough.first].settings.rules, varying);
      }
      json += "}";
      separator = ", ";
    }
    json += "]";
  }
  return json;
}

}  // namespace

std::string exactNumber(double value) {
  std::array<char, 32> text{};
  auto* const end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
  return {text.data(), end};
}

void printJson(std::ostream& out, const simulation::BatchResult& result) {
  printBatch(out, summarize(result));
  out << "}\n";
}

void printJson(std::ostream& out, const simulation::SweepResult& result,
               const ReportOptions& options) {
  std::vector<Summary> summaries;
  for (const simulation::BatchResult& design : result.designs) {
    summaries.push_back(summarize(design));
  }
  if (summaries.size() == 1) {
    printBatch(out, summaries.front());
    out << sweepKeys(result, summaries, options) << "}\n";
    return;
  }
  const simulation::SweepSettings& settings = result.settings;
  out << std::string{"{"} + key("schemaVersion") + "4, " +
             runsJson(result.runs, settings.turns, settings.seed) + ",\n " + key("designs") + "[";
  const std::vector<VersusSummary> versus = versusSummaries(result);
  for (std::size_t design = 0; design < summaries.size(); ++design) {
    out << (design == 0 ? "\n" : ",\n");
    printBatch(out, summaries[design]);
    if (!versus.empty()) {
      out << versusJson(versus[design]);
    }
    out << "}";
  }
  out << "]" << sweepKeys(result, summaries, options) << "}\n";
}

}  // namespace reports
