#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "simulation/rules.hpp"

// What the readers of rules, the rules file's and --rule's, say about rules
// out of bounds.
namespace command_line {

// A rule's bounds as simulation::rulesProblem words them, "heat.max must be
// a whole number from heat.min to 10000".
[[nodiscard]] std::string ruleBounds(std::size_t rule);

// Which of `changed` (the rules set, in the order set, that made `after` of
// `before`) is to blame for `problem`, the problem of `after`: the problem's
// own rule when it is among them, else the last whose value from `before`
// clears the problem of that rule. Its position in `changed`, if any.
[[nodiscard]] std::optional<std::size_t> blamed(const simulation::Rules& before,
                                                const simulation::Rules& after,
                                                const std::vector<std::size_t>& changed,
                                                const simulation::RuleProblem& problem);

// The problem's message; when the rule to blame is another, with the value of
// the problem's own rule, which was not set there: "heat.max must be … (heat.max is 59)".
[[nodiscard]] std::string problemText(const simulation::Rules& rules,
                                      const simulation::RuleProblem& problem,
                                      std::optional<std::size_t> blamedRule);

}  // namespace command_line
