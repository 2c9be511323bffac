#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "heat/cooling_rules.hpp"

// The game's rules as data: every number of a turn and of a cooling update,
// the game's own by default.
namespace simulation {

struct Rules {
  // The heat a turn adds: a whole number drawn evenly from heatMin to
  // heatMax, or, when heatValues is not empty, one of heatValues, each with
  // probability its weight over the sum of heatWeights.
  std::int32_t heatMin = 0;
  std::int32_t heatMax = 59;
  std::vector<std::int32_t> heatValues;
  std::vector<std::int32_t> heatWeights;
  std::int32_t damageAbove = 40;  // a turn adding more heat damages the heatsinks
  std::int32_t litersMin = 1;     // the liters a turn draws, evenly
  std::int32_t litersMax = 40;
  std::int32_t moveAtMost = 10;     // a turn drawing at most this many liters moves
  std::int32_t coolantAtMost = 2;   // a turn whose selector is at most this draws coolant
  std::int32_t percentPerStep = 5;  // damage: this many percent times (selector + 1)
  heat::CoolingRules cooling;

  bool operator==(const Rules&) const = default;  // GCOVR_EXCL_BR_LINE: member by member
};

// How a rule's value is written.
enum class RuleType {
  Whole,      // a whole number, which may be swept
  Number,     // a double
  Factor,     // a number narrowed to a float
  WholeList,  // a list of whole numbers
};

struct RuleName {
  std::string_view name;  // as --rule and a rules file spell it, "heat.max"
  RuleType type;
  std::string_view meaning;  // what it does, and its bounds, for a user
};

// Every rule, in the order they are listed, printed and written.
inline constexpr std::array<RuleName, 20> kRuleNames{{
    {"heat.min", RuleType::Whole, "the least heat a turn adds, 0 to 10000"},
    {"heat.max", RuleType::Whole, "the most heat a turn adds, heat.min to 10000"},
    {"heat.values", RuleType::WholeList,
     "instead of heat.min to heat.max: the heats a turn may add, 1 to 10000 of them, each 0 to "
     "10000"},
    {"heat.weights", RuleType::WholeList,
     "the weight of each of heat.values, 0 to 1000000, adding up to 1 to 1000000"},
    {"heat.damage-above", RuleType::Whole,
     "a turn adding more heat damages the heatsinks, -1 to 10000"},
    {"liters.min", RuleType::Whole, "the fewest liters a turn draws, 0 to 10000"},
    {"liters.max", RuleType::Whole, "the most liters a turn draws, liters.min to 10000"},
    {"liters.move-at-most", RuleType::Whole,
     "a turn drawing at most this many liters moves the mech, -1 to 10000"},
    {"selector.coolant-at-most", RuleType::Whole,
     "a turn whose selector (0 to 4) is at most this draws coolant, -1 to 4"},
    {"damage.percent-per-step", RuleType::Whole,
     "a damaging turn adds this many percent times (selector + 1), 0 to 100"},
    {"cooling.per-liter", RuleType::Number, "the cooling of a liter of coolant, 0 to 1000000"},
    {"cooling.single", RuleType::Number, "the heat a single heatsink sheds, 0 to 1000000"},
    {"cooling.double", RuleType::Number, "the heat a double heatsink sheds, 0 to 1000000"},
    {"overheat-above", RuleType::Number,
     "the heat level above which a mech is overheated, 0 to 1000000000"},
    {"critical-above", RuleType::Number,
     "the heat level above which an overheated mech is critical, 0 to 1000000000"},
    {"environments.space", RuleType::Factor, "the cooling factor in space, above 0 to 1000"},
    {"environments.water", RuleType::Factor, "the cooling factor in water, above 0 to 1000"},
    {"environments.hot-air", RuleType::Factor, "the cooling factor in hot air, above 0 to 1000"},
    {"environments.cold-air", RuleType::Factor, "the cooling factor in cold air, above 0 to 1000"},
    {"environments.temperate-air", RuleType::Factor,
     "the cooling factor in temperate air, above 0 to 1000"},
}};

// The index in kRuleNames of a rule named in the code, kRuleNames.size() for
// no rule (which no index compares equal to).
consteval std::size_t ruleIndex(std::string_view name) {
  std::size_t index = 0;
  while (index < kRuleNames.size() && kRuleNames.at(index).name != name) {
    ++index;
  }
  return index;
}

// The index of a rule in kRuleNames, if there is one of that name.
[[nodiscard]] std::optional<std::size_t> ruleNamed(std::string_view name);

// A rule's value: a whole number, a number, a factor or a list.
using RuleValue = std::variant<std::int64_t, double, float, std::vector<std::int64_t>>;

// The value of rule `rule` (an index in kRuleNames).
[[nodiscard]] RuleValue ruleValue(const Rules& rules, std::size_t rule);

// Sets rule `rule` to `value`: of the rule's type, or for a number or a
// factor also a whole number or a number (narrowed to a float for a factor).
// Returns false, changing nothing, for a value of another type or one its
// field cannot hold; the rules are then to be checked with rulesProblem.
[[nodiscard]] bool setRule(Rules& rules, std::size_t rule, const RuleValue& value);

// What is wrong with a set of rules, if anything: the first rule out of its
// bounds and how, "heat.max must be a whole number from heat.min to 10000".
struct RuleProblem {
  std::size_t rule;
  std::string message;
};
[[nodiscard]] std::optional<RuleProblem> rulesProblem(const Rules& rules);

// A rule's value as a rules file and --rule write it: whole numbers as
// they are, numbers and factors in the shortest form that reads back to
// them, lists as [a, b].
[[nodiscard]] std::string ruleText(const RuleValue& value);

}  // namespace simulation
