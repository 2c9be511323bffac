#include "reports/text_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "table.hpp"

namespace reports {
namespace {

constexpr int kMaxRows = 20;
constexpr int kBarWidth = 20;

std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string{thing} + (count == 1 ? "" : "s");
}

std::string percent(const Estimate& share) { return percentCell(share.value, share.halfWidth()); }

std::string mechText(const heat::MechHeatSystem& mech) {
  const std::string heatsink = std::string{heatsinkTypeName(mech.heatsinkType)} + " heatsink";
  return counted(static_cast<std::uint64_t>(mech.heatsinkCount), heatsink) + ", " +
         counted(static_cast<std::uint64_t>(mech.coolantLiters), "liter");
}

// "rules: heat 0..69, overheat above 50", when there are rules to name.
std::string rulesLine(const simulation::Rules& rules, const std::vector<std::size_t>& which) {
  if (which.empty()) {
    return {};
  }
  return "rules: " + rulesWords(rules, which) + "\n";
}

// A rule's value in a sweep's column: a long list as its length.
std::string ruleCell(const simulation::Rules& rules, std::size_t rule) {
  constexpr std::size_t kLongest = 24;
  const simulation::RuleValue value = simulation::ruleValue(rules, rule);
  std::string cell = ruleArgument(value);
  if (const auto* list = std::get_if<std::vector<std::int64_t>>(&value);
      list != nullptr && cell.size() > kLongest) {
    cell = counted(list->size(), "value");
  }
  return cell;
}

std::string batchText(const Summary& summary) {
  const simulation::BatchSettings& settings = summary.settings;
  std::string text = counted(settings.runs, "run") + " of " +
                     counted(static_cast<std::uint64_t>(settings.turns), "turn") + ", seed " +
                     std::to_string(settings.seed) + ": " + mechText(settings.mech) +
                     ", starting in " + environmentWords(settings.mech.environment) + "\n" +
                     rulesLine(settings.rules, changedRules(settings.rules));
  using Align = Table::Align;
  // The lists' clean-up, should a string throw, is the only other way through.
  // GCOVR_EXCL_BR_START
  Table table{{{{"turn"}, Align::Right, 0},
               {{"overheated"}, Align::Right, 2},
               {{"critical"}, Align::Right, 2},
               {{"tank empty"}, Align::Right, 2},
               {{"ever overheated"}, Align::Right, 2},
               {{"mean heat"}, Align::Right, 2}}};
  // GCOVR_EXCL_BR_STOP
  std::vector<std::string> bars;
  for (const int turn : simulation::evenlySpacedTurns(settings.turns, kMaxRows)) {
    const TurnSummary& row = summary.perTurn[static_cast<std::size_t>(turn - 1)];
    // GCOVR_EXCL_BR_START: as above
    table.addRow({std::to_string(turn), percent(row.overheated), percent(row.critical),
                  percent(row.coolantEmpty), percent(row.everOverheated),
                  meanCell(row.meanHeat.value, row.meanHeat.halfWidth())});
    // GCOVR_EXCL_BR_STOP
    const auto bar = static_cast<std::size_t>(std::lround(row.overheated.value * kBarWidth));
    std::string drawn;
    if (bar > 0) {
      drawn.append("  ").append(bar, '#');
    }
    bars.push_back(drawn);
  }
  text += table.text(bars);
  const FinalHeat& heat = summary.finalHeat;
  text += "ever overheated " + percent(summary.everOverheated) + ", ever critical " +
          percent(summary.everCritical) + "\n";
  if (summary.damagedOut.value > 0.0) {
    text += "heatsinks past 100 % damage at the end: " + percent(summary.damagedOut) +
            " of runs; such heatsinks heat the mech\n";
  }
  text += "final heat: mean " + oneDecimal(heat.mean) + "  median " + oneDecimal(heat.median) +
          "  90th " + oneDecimal(heat.p90) + "  99th " + oneDecimal(heat.p99) + "  max " +
          oneDecimal(heat.max) + "\n";
  text += "hottest run: " + std::to_string(summary.hottest.run) + ", final heat " +
          oneDecimal(summary.hottest.finalHeat) + " (" +
          replayCommand(settings, summary.hottest.run) + ")\n";
  return text;
}

std::string sweepTable(const simulation::SweepResult& result,
                       const std::vector<Summary>& summaries) {
  const simulation::SweepSettings& settings = result.settings;
  std::string text = counted(summaries.size(), "design") + ", each " + counted(result.runs, "run") +
                     " of " + counted(static_cast<std::uint64_t>(settings.turns), "turn") +
                     " on the same runs, seed " + std::to_string(settings.seed) + "\n";
  const SweptRules rules = sweptRules(result);
  text += rulesLine(summaries.front().settings.rules, rules.shared);  // a sweep has designs
  using Align = Table::Align;
  // GCOVR_EXCL_BR_START: as in batchText
  std::vector<Table::Column> columns{{{"heatsinks"}, Align::Right, 0},
                                     {{"type"}, Align::Left, 1},
                                     {{"coolant"}, Align::Right, 1},
                                     {{"environment"}, Align::Left, 1}};
  // A column for each rule that differs between the designs, after what else they vary.
  for (const std::size_t rule : rules.varying) {
    columns.push_back({{std::string{simulation::kRuleNames.at(rule).name}}, Align::Right, 1});
  }
  // Compared designs show their differences in place of the heats' columns.
  const std::vector<VersusSummary> versus = versusSummaries(result);
  if (versus.empty()) {
    columns.insert(columns.end(), {{{"ever", "overheated"}, Align::Right, 2},
                                   {{"ever", "critical"}, Align::Right, 2},
                                   {{"overheated", "at the end"}, Align::Right, 2},
                                   {{"final heat", "median"}, Align::Right, 2},
                                   {{"90th"}, Align::Right, 2}});
  } else {
    columns.insert(columns.end(), {{{"ever", "overheated"}, Align::Right, 2},
                                   {{"Δ ever", "overheated"}, Align::Right, 2},
                                   {{"ever", "critical"}, Align::Right, 2},
                                   {{"Δ final", "heat"}, Align::Right, 2}});
  }
  Table table{std::move(columns)};
  // GCOVR_EXCL_BR_STOP
  for (std::size_t design = 0; design < summaries.size(); ++design) {
    const Summary& summary = summaries[design];
    const heat::MechHeatSystem& mech = summary.settings.mech;
    // GCOVR_EXCL_BR_START: as in batchText
    std::vector<std::string> row{
        std::to_string(mech.heatsinkCount), std::string{heatsinkTypeName(mech.heatsinkType)},
        std::to_string(mech.coolantLiters), environmentWords(mech.environment)};
    for (const std::size_t rule : rules.varying) {
      row.push_back(ruleCell(summary.settings.rules, rule));
    }
    if (versus.empty()) {
      row.insert(row.end(),
                 {percent(summary.everOverheated), percent(summary.everCritical),
                  percent(summary.perTurn.back().overheated), oneDecimal(summary.finalHeat.median),
                  oneDecimal(summary.finalHeat.p90)});
    } else {
      const VersusSummary& difference = versus[design];
      row.insert(row.end(), {percent(summary.everOverheated),
                             percentDifferenceCell(difference.everOverheated.value,
                                                   difference.everOverheated.halfWidth()),
                             percent(summary.everCritical),
                             meanDifferenceCell(difference.finalHeat.value,
                                                difference.finalHeat.halfWidth())});
    }
    table.addRow(std::move(row));
    // GCOVR_EXCL_BR_STOP
  }
  text += table.text();
  if (settings.versus) {
    text += "Δ: each design less the same design with " + settings.versus->axis + " " +
            settings.versus->value + ", run by run (paired 95 % intervals)\n";
  }
  const auto damaged = std::ranges::count_if(
      summaries, [](const Summary& summary) { return summary.damagedOut.value > 0.0; });
  if (damaged > 0) {
    text += "some runs of " + counted(static_cast<std::uint64_t>(damaged), "design") +
            " end past 100 % heatsink damage, heating the mech (damagedOut in --json)\n";
  }
  return text;
}

std::string marginText(const simulation::SweepResult& result) {
  const double margin = *result.settings.margin;
  std::string text = "margin ±" + givenPercent(100.0 * margin) + " %: ";
  if (result.marginMet) {
    return text + "every interval within it after " + counted(result.runs, "run") + "\n";
  }
  return text + "not met within the most runs, " + std::to_string(result.runs) +
         " (--runs raises it)\n";
}

std::string enoughText(const std::vector<Summary>& summaries, const SweptRules& rules,
                       double maxOverheat) {
  std::string text;
  for (const Enough& enough : enoughDesigns(summaries, maxOverheat)) {
    text += "enough in " + environmentWords(enough.environment);
    if (!rules.varying.empty()) {
      text += " with " + rulesWords(summaries[enough.first].settings.rules, rules.varying);
    }
    text += ": ";
    if (!enough.design) {
      text +=
          "no design keeps ever overheated within " + givenPercent(100.0 * maxOverheat) + " %\n";
      continue;
    }
    const Summary& design = summaries[*enough.design];
    text += mechText(design.settings.mech) + " (ever overheated " + percent(design.everOverheated) +
            ")\n";
  }
  return text;
}

}  // namespace

void printText(std::ostream& out, const simulation::BatchResult& result) {
  out << batchText(summarize(result));
}

void printText(std::ostream& out, const simulation::SweepResult& result,
               const ReportOptions& options) {
  std::vector<Summary> summaries;
  for (const simulation::BatchResult& design : result.designs) {
    summaries.push_back(summarize(design));
  }
  std::string text =
      summaries.size() == 1 ? batchText(summaries.front()) : sweepTable(result, summaries);
  if (result.settings.margin) {
    text += marginText(result);
  }
  if (options.maxOverheat) {
    text += enoughText(summaries, sweptRules(result), *options.maxOverheat);
  }
  out << text;
}

}  // namespace reports
