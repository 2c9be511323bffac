// Rules in words: a rules file written, and what is said of rules out of
// bounds. Nothing here reads TOML.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "options/rules_file.hpp"
#include "rule_problems.hpp"

namespace command_line {
namespace {

using simulation::kRuleNames;
using simulation::RuleType;

// A rule's value as TOML writes it: a number or a factor always with a point
// or an exponent, so that -0.0 keeps its sign.
std::string valueText(const simulation::Rules& rules, std::size_t rule) {
  const simulation::RuleValue value = simulation::ruleValue(rules, rule);
  std::string text = simulation::ruleText(value);
  const RuleType type = kRuleNames.at(rule).type;
  // A factor is read as a double, then narrowed. The shortest text of one
  // float (7.038531e-26 alone among them) reads as a double that narrows to
  // its neighbour; it is written as the double it is instead.
  if (type == RuleType::Factor &&
      static_cast<float>(std::strtod(text.c_str(), nullptr)) != std::get<float>(value)) {
    text = simulation::ruleText(static_cast<double>(std::get<float>(value)));
  }
  if ((type == RuleType::Number || type == RuleType::Factor) &&
      text.find_first_not_of("-0123456789") == std::string::npos) {
    text += ".0";
  }
  return text;
}

// The rule's name after its table's, "max" of "heat.max"; the whole name at the top.
std::string_view keyOf(std::string_view name) { return name.substr(name.find('.') + 1); }

// Its table, "heat" of "heat.max"; empty at the top.
std::string_view tableOf(std::string_view name) {
  const std::size_t dot = name.find('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(0, dot);
}

}  // namespace

std::string printRules(const simulation::Rules& rules) {
  std::string text =
      "# The rules of mech-heat, as --rules reads them: every rule, with its meaning\n"
      "# and its bounds. A rules file may set only some; the others keep the game's.\n"
      "\n";
  // The rules without a table first: a key after [table] would be in it.
  std::vector<std::size_t> order;
  for (std::size_t rule = 0; rule < kRuleNames.size(); ++rule) {
    order.push_back(rule);
  }
  std::stable_partition(order.begin(), order.end(),
                        [](std::size_t rule) { return tableOf(kRuleNames.at(rule).name).empty(); });
  std::string_view table;
  for (const std::size_t rule : order) {
    const std::string_view name = kRuleNames.at(rule).name;
    if (tableOf(name) != table) {
      table = tableOf(name);
      text.append("\n[").append(table).append("]\n");
    }
    text.append("# ").append(kRuleNames.at(rule).meaning).append("\n");
    text.append(keyOf(name)).append(" = ").append(valueText(rules, rule)).append("\n");
  }
  return text;
}

std::string ruleBounds(std::size_t rule) {
  // The rule alone set to what no bounds allow: a number far above its
  // bounds, a list with a negative entry, a NaN.
  simulation::Rules beyond;
  switch (kRuleNames.at(rule).type) {
    case RuleType::Whole:
      static_cast<void>(simulation::setRule(
          beyond, rule, std::int64_t{std::numeric_limits<std::int32_t>::max()}));
      break;
    case RuleType::WholeList:
      static_cast<void>(simulation::setRule(beyond, rule, std::vector<std::int64_t>{-1}));
      break;
    default:
      static_cast<void>(
          simulation::setRule(beyond, rule, std::numeric_limits<double>::quiet_NaN()));
      break;
  }
  return simulation::rulesProblem(beyond)->message;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the rules before and after, in that order
std::optional<std::size_t> blamed(const simulation::Rules& before, const simulation::Rules& after,
                                  const std::vector<std::size_t>& changed,
                                  const simulation::RuleProblem& problem) {
  const auto own = std::ranges::find(changed, problem.rule);
  if (own != changed.end()) {
    return static_cast<std::size_t>(own - changed.begin());
  }
  for (std::size_t entry = changed.size(); entry-- > 0;) {
    simulation::Rules undone = after;
    static_cast<void>(
        simulation::setRule(undone, changed[entry], simulation::ruleValue(before, changed[entry])));
    const auto left = simulation::rulesProblem(undone);
    if (!left || left->rule != problem.rule) {
      return entry;
    }
  }
  return std::nullopt;
}

std::string problemText(const simulation::Rules& rules, const simulation::RuleProblem& problem,
                        std::optional<std::size_t> blamedRule) {
  if (blamedRule == problem.rule) {
    return problem.message;
  }
  return problem.message + " (" + std::string{kRuleNames.at(problem.rule).name} + " is " +
         simulation::ruleText(simulation::ruleValue(rules, problem.rule)) + ")";
}

}  // namespace command_line
