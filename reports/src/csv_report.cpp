#include "reports/csv_report.hpp"

#include <array>
#include <cstddef>
#include <ostream>

#include "reports/json_report.hpp"
#include "reports/summary.hpp"

namespace reports {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kMechColumns = 4;  // of kHeader, before the rules' columns

constexpr std::array<std::string_view, 31> kHeader{"heatsinks",
                                                   "heatsinkType",
                                                   "coolant",
                                                   "environment",
                                                   "runs",
                                                   "turns",
                                                   "seed",
                                                   "everOverheated",
                                                   "everOverheatedLow",
                                                   "everOverheatedHigh",
                                                   "everCritical",
                                                   "everCriticalLow",
                                                   "everCriticalHigh",
                                                   "overheated",
                                                   "overheatedLow",
                                                   "overheatedHigh",
                                                   "critical",
                                                   "criticalLow",
                                                   "criticalHigh",
                                                   "coolantEmpty",
                                                   "coolantEmptyLow",
                                                   "coolantEmptyHigh",
                                                   "meanHeat",
                                                   "meanHeatLow",
                                                   "meanHeatHigh",
                                                   "median",
                                                   "p90",
                                                   "p99",
                                                   "max",
                                                   "hottestRun",
                                                   "hottestFinalHeat"};

// With compared designs, after kHeader: each design's baseline and its differences.
constexpr std::array<std::string_view, 13> kVersusHeader{"versusDesign",
                                                         "everOverheatedDifference",
                                                         "everOverheatedDifferenceLow",
                                                         "everOverheatedDifferenceHigh",
                                                         "everCriticalDifference",
                                                         "everCriticalDifferenceLow",
                                                         "everCriticalDifferenceHigh",
                                                         "overheatedDifference",
                                                         "overheatedDifferenceLow",
                                                         "overheatedDifferenceHigh",
                                                         "finalHeatDifference",
                                                         "finalHeatDifferenceLow",
                                                         "finalHeatDifferenceHigh"};

void addEstimate(std::vector<std::string>& fields, const Estimate& estimate) {
  fields.push_back(exactNumber(estimate.value));
  fields.push_back(exactNumber(estimate.ci95.low));
  fields.push_back(exactNumber(estimate.ci95.high));
}

void printLine(std::ostream& out, const std::vector<std::string>& fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) {
      line += ',';
    }
    line += csvField(field);
  }
  out << line << kLineEnd;
}

}  // namespace

std::string csvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string{text};
  }
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') {
      field += '"';  // a quote inside a quoted field is doubled
    }
    field += c;
  }
  return field + "\"";
}

void printCsv(std::ostream& out, const simulation::SweepResult& result) {
  // A column for each rule that differs from the game's in any design, after the mech's.
  const std::vector<std::size_t> rules = sweptRules(result).all();
  std::vector<std::string> header{kHeader.begin(), kHeader.end()};
  for (std::size_t rule = 0; rule < rules.size(); ++rule) {
    header.emplace(header.begin() + static_cast<std::ptrdiff_t>(kMechColumns + rule),
                   simulation::kRuleNames.at(rules[rule]).name);
  }
  const std::vector<VersusSummary> versus = versusSummaries(result);
  if (!versus.empty()) {
    header.insert(header.end(), kVersusHeader.begin(), kVersusHeader.end());
  }
  printLine(out, header);
  for (std::size_t design = 0; design < result.designs.size(); ++design) {
    const Summary summary = summarize(result.designs[design]);
    const simulation::BatchSettings& settings = summary.settings;
    const heat::MechHeatSystem& mech = settings.mech;
    const TurnSummary& last = summary.perTurn.back();
    std::vector<std::string> fields;
    fields.push_back(std::to_string(mech.heatsinkCount));
    fields.emplace_back(heatsinkTypeName(mech.heatsinkType));
    fields.push_back(std::to_string(mech.coolantLiters));
    fields.emplace_back(heat::traitsOf(mech.environment).optionName);
    for (const std::size_t rule : rules) {
      fields.push_back(ruleArgument(simulation::ruleValue(settings.rules, rule)));
    }
    fields.push_back(std::to_string(settings.runs));
    fields.push_back(std::to_string(settings.turns));
    fields.push_back(std::to_string(settings.seed));
    for (const Estimate& estimate : {summary.everOverheated, summary.everCritical, last.overheated,
                                     last.critical, last.coolantEmpty, last.meanHeat}) {
      addEstimate(fields, estimate);
    }
    const FinalHeat& heat = summary.finalHeat;
    for (const double value : {heat.median, heat.p90, heat.p99, heat.max}) {
      fields.push_back(exactNumber(value));
    }
    fields.push_back(std::to_string(summary.hottest.run));
    fields.push_back(exactNumber(summary.hottest.finalHeat));
    if (!versus.empty()) {
      const VersusSummary& difference = versus[design];
      fields.push_back(std::to_string(difference.baseline));
      for (const Estimate& estimate : {difference.everOverheated, difference.everCritical,
                                       difference.overheated, difference.finalHeat}) {
        addEstimate(fields, estimate);
      }
    }
    printLine(out, fields);
  }
}

}  // namespace reports
