#include "simulation/rules.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>
#include <system_error>

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
    case 0: return &rules.heatMin;
    case 1: return &rules.heatMax;
    case 4: return &rules.damageAbove;
    case 5: return &rules.litersMin;
    case 6: return &rules.litersMax;
    case 7: return &rules.moveAtMost;
    case 8: return &rules.coolantAtMost;
    case 9: return &rules.percentPerStep;
    default: return decltype(&rules.heatMin){nullptr};
  }
}

template <typename Fields>
auto* listField(Fields& rules, std::size_t rule) {
  switch (rule) {
    case 2: return &rules.heatValues;
    case 3: return &rules.heatWeights;
    default: return decltype(&rules.heatValues){nullptr};
  }
}

template <typename Fields>
auto* numberField(Fields& rules, std::size_t rule) {
  switch (rule) {
    case 10: return &rules.cooling.perLiter;
    case 11: return &rules.cooling.singleHeatsink;
    case 12: return &rules.cooling.doubleHeatsink;
    case 13: return &rules.cooling.overheatAbove;
    case 14: return &rules.cooling.criticalAbove;
    default: return decltype(&rules.cooling.perLiter){nullptr};
  }
}

constexpr std::size_t kFirstFactor = 15;

template <typename Fields>
auto* factorField(Fields& rules, std::size_t rule) {
  if (rule < kFirstFactor || rule >= kRuleNames.size()) {
    return decltype(&rules.cooling.factors[0]){nullptr};
  }
  return &rules.cooling.factors.at(rule - kFirstFactor);
}

bool fitsInt32(std::int64_t value) {
  return value >= std::numeric_limits<std::int32_t>::min() &&
         value <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

std::optional<std::size_t> ruleNamed(std::string_view name) {
  const auto* found = std::ranges::find(kRuleNames, name, &RuleName::name);
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
    return std::vector<std::int64_t>(list->begin(), list->end());
  }
  if (const double* number = numberField(rules, rule)) {
    return *number;
  }
  return *factorField(rules, rule);
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
  const auto problem = [](std::size_t rule, std::string_view bounds) {
    return RuleProblem{rule, std::string{kRuleNames.at(rule).name} + " must be " +
                                 std::string{bounds}};
  };
  const auto between = [](std::int64_t value, std::int64_t least, std::int64_t most) {
    return value >= least && value <= most;
  };
  const auto number = [](double value, double most) {
    return std::isfinite(value) && value >= 0.0 && value <= most;
  };
  if (!between(rules.heatMin, 0, kMostHeat)) {
    return problem(0, "a whole number from 0 to 10000");
  }
  if (!between(rules.heatMax, rules.heatMin, kMostHeat)) {
    return problem(1, "a whole number from heat.min to 10000");
  }
  if (rules.heatValues.size() > kMostHeatValues ||
      !std::ranges::all_of(rules.heatValues,
                           [&](std::int32_t value) { return between(value, 0, kMostHeat); })) {
    return problem(2, "a list of at most 10000 whole numbers from 0 to 10000");
  }
  const std::int64_t weights =
      std::accumulate(rules.heatWeights.begin(), rules.heatWeights.end(), std::int64_t{0});
  if (rules.heatWeights.size() != rules.heatValues.size() ||
      !std::ranges::all_of(rules.heatWeights,
                           [&](std::int32_t weight) { return between(weight, 0, kMostWeights); }) ||
      (!rules.heatWeights.empty() && !between(weights, 1, kMostWeights))) {
    return problem(3,
                   "a list of whole numbers from 0 to 1000000, one for each of heat.values, "
                   "adding up to 1 to 1000000");
  }
  if (!between(rules.damageAbove, -1, kMostHeat)) {
    return problem(4, "a whole number from -1 to 10000");
  }
  if (!between(rules.litersMin, 0, kMostLiters)) {
    return problem(5, "a whole number from 0 to 10000");
  }
  if (!between(rules.litersMax, rules.litersMin, kMostLiters)) {
    return problem(6, "a whole number from liters.min to 10000");
  }
  if (!between(rules.moveAtMost, -1, kMostLiters)) {
    return problem(7, "a whole number from -1 to 10000");
  }
  if (!between(rules.coolantAtMost, -1, 4)) {
    return problem(8, "a whole number from -1 to 4");
  }
  if (!between(rules.percentPerStep, 0, kMostPercentPerStep)) {
    return problem(9, "a whole number from 0 to 100");
  }
  const std::array<double, 5> coolings{rules.cooling.perLiter, rules.cooling.singleHeatsink,
                                       rules.cooling.doubleHeatsink, rules.cooling.overheatAbove,
                                       rules.cooling.criticalAbove};
  for (std::size_t entry = 0; entry < coolings.size(); ++entry) {
    const bool level = entry >= 3;
    if (!number(coolings.at(entry), level ? kMostLevel : kMostCooling)) {
      return problem(10 + entry, level ? "a number from 0 to 1000000000" : "a number from 0 to 1000000");
    }
  }
  for (std::size_t entry = 0; entry < rules.cooling.factors.size(); ++entry) {
    const auto factor = static_cast<double>(rules.cooling.factors.at(entry));
    if (!(number(factor, kMostFactor) && factor > 0.0)) {
      return problem(kFirstFactor + entry, "a number above 0 and at most 1000");
    }
  }
  return std::nullopt;
}

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

}  // namespace simulation
