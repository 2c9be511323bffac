#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "simulation/rules.hpp"

// The rules that differ from the game's, " heat.max=80 cooling.single=1.5",
// each as a rules file writes its value.
inline std::string changedRules(const simulation::Rules& rules) {
  const simulation::Rules game;
  std::string text;
  for (std::size_t rule = 0; rule < simulation::kRuleNames.size(); ++rule) {
    const simulation::RuleValue value = simulation::ruleValue(rules, rule);
    if (value != simulation::ruleValue(game, rule)) {
      text.append(" ")
          .append(simulation::kRuleNames.at(rule).name)
          .append("=")
          .append(simulation::ruleText(value));
    }
  }
  return text;
}
