#include "heat/environment.hpp"

#include <algorithm>
#include <memory>
#include <ostream>

#include "heat/mech_heat_system.hpp"

namespace heat {
namespace {

// The table is indexed by an environment's value.
static_assert(std::ranges::all_of(kEnvironments, [](const EnvironmentTraits& traits) {
  return &traits - kEnvironments.data() == static_cast<std::int32_t>(traits.environment);
}));

// What an unnamed value stands for; its `environment` is not looked at.
constexpr EnvironmentTraits kUnknownEnvironment{Environment::TemperateAir, 1.0F, "unknown",
                                                "unknown"};

}  // namespace

const EnvironmentTraits& traitsOf(Environment environment) {
  const auto value = static_cast<std::int32_t>(environment);
  if (value < 0 || value >= static_cast<std::int32_t>(kEnvironments.size())) {
    return kUnknownEnvironment;
  }
  return kEnvironments.at(static_cast<std::size_t>(value));
}

std::string environmentName(Environment environment) {
  return std::string{traitsOf(environment).displayName};
}

float environmentFactor(Environment environment) { return traitsOf(environment).coolingFactor; }

std::optional<Environment> environmentNamed(std::string_view optionName) {
  const auto* known =
      std::to_address(std::ranges::find(kEnvironments, optionName, &EnvironmentTraits::optionName));
  if (known == std::to_address(kEnvironments.end())) {
    return std::nullopt;
  }
  return known->environment;
}

void MechHeatSystem::setEnvironmentSilently(Environment newEnvironment, const CoolingRules& rules) {
  environment = newEnvironment;
  baseCoolingFactor = rules.factorOf(newEnvironment);
}

void MechHeatSystem::setEnvironment(Environment newEnvironment, std::ostream& out,
                                    const CoolingRules& rules) {
  setEnvironmentSilently(newEnvironment, rules);
  out << "Changing environment to: " << environmentName(newEnvironment) << std::endl;
}

}  // namespace heat
