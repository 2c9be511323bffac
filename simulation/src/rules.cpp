#include "simulation/rules.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <string_view>
#include <utility>

namespace simulation {
namespace {

constexpr std::int64_t kMostHeat = 10'000;
constexpr std::int64_t kMostLiters = 10'000;
constexpr std::size_t kMostHeatValues = 10'000;
constexpr std::int64_t kMostWeights = 1'000'000;
constexpr std::int64_t kMostPercentPerStep = 100;
constexpr double kMostCooling = 1e6;
constexpr double kMostLevel = 1e9;
constexpr double kMostFactor = 1000.0;

// The fields behind the rules' names, in the order of kRuleNames.
// Const or not, as the rules are.
template <typename Fields>
auto* wholeField(Fields& rules, std::size_t rule) {
  switch (rule) {
    case ruleIndex("heat.min"):
      return &rules.heatMin;
    case ruleIndex("heat.max"):
      return &rules.heatMax;
    case ruleIndex("heat.damage-above"):
      return &rules.damageAbove;
    case ruleIndex("liters.min"):
      return &rules.litersMin;
    case ruleIndex("liters.max"):
      return &rules.litersMax;
    case ruleIndex("liters.move-at-most"):
      return &rules.moveAtMost;
    case ruleIndex("selector.coolant-at-most"):
      return &rules.coolantAtMost;
    case ruleIndex("damage.percent-per-step"):
      return &rules.percentPerStep;
    default:
      return decltype(&rules.heatMin){nullptr};
  }
}

template <typename Fields>
auto* listField(Fields& rules, std::size_t rule) {
  switch (rule) {
    case ruleIndex("heat.values"):
      return &rules.heatValues;
    case ruleIndex("heat.weights"):
      return &rules.heatWeights;
    default:
      return decltype(&rules.heatValues){nullptr};
  }
}

template <typename Fields>
auto* numberField(Fields& rules, std::size_t rule) {
  switch (rule) {
    case ruleIndex("cooling.per-liter"):
      return &rules.cooling.perLiter;
    case ruleIndex("cooling.single"):
      return &rules.cooling.singleHeatsink;
    case ruleIndex("cooling.double"):
      return &rules.cooling.doubleHeatsink;
    case ruleIndex("overheat-above"):
      return &rules.cooling.overheatAbove;
    case ruleIndex("critical-above"):
      return &rules.cooling.criticalAbove;
    default:
      return decltype(&rules.cooling.perLiter){nullptr};
  }
}

constexpr std::size_t kFirstFactor = ruleIndex("environments.space");
constexpr std::size_t kSelectors = heat::kEnvironments.size();

// After the other fields: every rule from kFirstFactor on.
float* factorField(Rules& rules, std::size_t rule) {
  if (rule >= kRuleNames.size()) {
    return nullptr;
  }
  return &rules.cooling.factors.at(rule - kFirstFactor);
}

bool fitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

std::optional<std::size_t> ruleNamed(std::string_view name) {
  // An iterator, which only some standard libraries make a pointer.
  // NOLINTNEXTLINE(readability-qualified-auto)
  const auto found = std::ranges::find(kRuleNames, name, &RuleName::name);
  if (found == kRuleNames.end()) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(found - kRuleNames.begin());
}

RuleValue ruleValue(const Rules& rules, std::size_t rule) {
  if (const std::int32_t* whole = wholeField(rules, rule)) {
    return std::int64_t{*whole};
  }
  if (const std::vector<std::int32_t>* list = listField(rules, rule)) {
    return std::vector<std::int64_t>(list->begin(), list->end());  // GCOVR_EXCL_BR_LINE: allocation
  }
  if (const double* number = numberField(rules, rule)) {
    return *number;
  }
  return rules.cooling.factors.at(rule - kFirstFactor);
}

bool setRule(Rules& rules, std::size_t rule, const RuleValue& value) {
  if (std::int32_t* whole = wholeField(rules, rule)) {
    const auto* given = std::get_if<std::int64_t>(&value);
    if (given == nullptr || !fitsInt32(*given)) {
      return false;
    }
    *whole = static_cast<std::int32_t>(*given);
    return true;
  }
  if (std::vector<std::int32_t>* list = listField(rules, rule)) {
    const auto* given = std::get_if<std::vector<std::int64_t>>(&value);
    if (given == nullptr || !std::ranges::all_of(*given, fitsInt32)) {
      return false;
    }
    list->resize(given->size());
    for (std::size_t entry = 0; entry < given->size(); ++entry) {
      (*list)[entry] = static_cast<std::int32_t>((*given)[entry]);
    }
    return true;
  }
  double number = 0.0;
  if (const auto* whole = std::get_if<std::int64_t>(&value)) {
    number = static_cast<double>(*whole);
  } else if (const auto* given = std::get_if<double>(&value)) {
    number = *given;
  } else if (const auto* factor = std::get_if<float>(&value)) {
    number = static_cast<double>(*factor);
  } else {
    return false;
  }
  if (double* field = numberField(rules, rule)) {
    *field = number;
    return true;
  }
  float* factor = factorField(rules, rule);
  if (factor == nullptr) {
    return false;
  }
  *factor = static_cast<float>(number);
  return true;
}

std::optional<RuleProblem> rulesProblem(const Rules& rules) {
  const auto between = [](std::int64_t value, std::int64_t least, std::int64_t most) {
    return value >= least && value <= most;
  };
  const auto number = [](double value, double most) {
    return std::isfinite(value) && value >= 0.0 && value <= most;
  };
  const auto factor = [&](std::size_t environment) {
    const auto value = static_cast<double>(rules.cooling.factors.at(environment));
    return number(value, kMostFactor) && value > 0.0;
  };
  const std::int64_t weights =
      std::accumulate(rules.heatWeights.begin(), rules.heatWeights.end(), std::int64_t{0});
  constexpr std::string_view kCooling = "a number from 0 to 1000000";
  constexpr std::string_view kLevel = "a number from 0 to 1000000000";
  constexpr std::string_view kFactor = "a number above 0 and at most 1000";
  // Each rule's bounds, in the order of kRuleNames.
  const std::array<std::pair<bool, std::string_view>, kRuleNames.size()> bounds{{
      {between(rules.heatMin, 0, kMostHeat), "a whole number from 0 to 10000"},
      {between(rules.heatMax, rules.heatMin, kMostHeat), "a whole number from heat.min to 10000"},
      {rules.heatValues.size() <= kMostHeatValues &&
           std::ranges::all_of(rules.heatValues,
                               [&](std::int32_t value) { return between(value, 0, kMostHeat); }),
       "a list of at most 10000 whole numbers from 0 to 10000"},
      {rules.heatWeights.size() == rules.heatValues.size() &&
           std::ranges::all_of(
               rules.heatWeights,
               [&](std::int32_t weight) { return between(weight, 0, kMostWeights); }) &&
           (rules.heatWeights.empty() || between(weights, 1, kMostWeights)),
       "a list of whole numbers from 0 to 1000000, one for each of heat.values, adding up to 1 "
       "to 1000000"},
      {between(rules.damageAbove, -1, kMostHeat), "a whole number from -1 to 10000"},
      {between(rules.litersMin, 0, kMostLiters), "a whole number from 0 to 10000"},
      {between(rules.litersMax, rules.litersMin, kMostLiters),
       "a whole number from liters.min to 10000"},
      {between(rules.moveAtMost, -1, kMostLiters), "a whole number from -1 to 10000"},
      {between(rules.coolantAtMost, -1, static_cast<std::int64_t>(kSelectors) - 1),
       "a whole number from -1 to 4"},
      {between(rules.percentPerStep, 0, kMostPercentPerStep), "a whole number from 0 to 100"},
      {number(rules.cooling.perLiter, kMostCooling), kCooling},
      {number(rules.cooling.singleHeatsink, kMostCooling), kCooling},
      {number(rules.cooling.doubleHeatsink, kMostCooling), kCooling},
      {number(rules.cooling.overheatAbove, kMostLevel), kLevel},
      {number(rules.cooling.criticalAbove, kMostLevel), kLevel},
      {factor(0), kFactor},
      {factor(1), kFactor},
      {factor(2), kFactor},
      {factor(3), kFactor},
      {factor(4), kFactor},
  }};
  // NOLINTNEXTLINE(readability-qualified-auto): an iterator, as above
  const auto broken = std::ranges::find(bounds, false, &std::pair<bool, std::string_view>::first);
  if (broken == bounds.end()) {
    return std::nullopt;
  }
  const auto rule = static_cast<std::size_t>(broken - bounds.begin());
  return RuleProblem{
      rule, std::string{kRuleNames.at(rule).name} + " must be " + std::string{broken->second}};
}

// GCOVR_EXCL_BR_START: the strings' clean-up, were they to throw
std::string ruleText(const RuleValue& value) {
  const auto number = [](auto written) {
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), written);
    static_cast<void>(error);  // 32 characters hold any number
    return std::string{text.data(), end};
  };
  if (const auto* list = std::get_if<std::vector<std::int64_t>>(&value)) {
    std::string text = "[";
    for (const std::int64_t entry : *list) {
      text.append(text.size() == 1 ? "" : ", ").append(number(entry));
    }
    return text + "]";
  }
  if (const auto* whole = std::get_if<std::int64_t>(&value)) {
    return number(*whole);
  }
  if (const auto* given = std::get_if<double>(&value)) {
    return number(*given);
  }
  return number(std::get<float>(value));
}

// GCOVR_EXCL_BR_STOP

}  // namespace simulation
