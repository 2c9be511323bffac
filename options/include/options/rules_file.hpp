#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "options/command_line.hpp"
#include "simulation/rules.hpp"

// Rules files: the rules a TOML file gives, and rules written as such a file.
//
// A file holds the rules of simulation::kRuleNames, each name split at its
// first dot into a table and a key ([heat] max = 80), the two without a dot
// at the top (overheat-above = 60.0). It sets only the rules it names; every
// other keeps its value from before.
namespace command_line {

// The largest rules file that is read, in bytes.
inline constexpr std::size_t kMostRulesBytes = 1'000'000;

// The rules `text` gives on top of `start`: an error "NAME:LINE:COLUMN:
// MESSAGE" at the first thing wrong, a TOML syntax error, a key that is no
// rule, a value of the wrong type or out of its rule's bounds. `name` names
// the text in messages. Reads nothing else.
[[nodiscard]] std::variant<simulation::Rules, Error> readRules(std::string_view name,
                                                               std::string_view text,
                                                               const simulation::Rules& start = {});

// The same for the file at `path`, which may be a pipe: "cannot read rules
// PATH: REASON" when it cannot be read (it is a folder, say) or holds more
// than kMostRulesBytes, which are not read into memory.
[[nodiscard]] std::variant<simulation::Rules, Error> readRulesFile(
    const std::string& path, const simulation::Rules& start = {});

// The rules as a rules file that readRules reads back to them exactly: every
// rule, each with its meaning and bounds in a comment; unset heat.values and
// heat.weights as empty lists.
[[nodiscard]] std::string printRules(const simulation::Rules& rules);

}  // namespace command_line
