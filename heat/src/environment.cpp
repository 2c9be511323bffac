#include "heat/environment.hpp"

#include <array>
#include <iostream>
#include <string_view>

#include "heat/mech_heat_system.hpp"

namespace heat {
namespace {

struct EnvironmentTraits {
  float coolingFactor;
  std::string_view displayName;
};

// Indexed by the environment's value.
constexpr std::array<EnvironmentTraits, 5> kEnvironments{{
    {2.0F, "We're in space, wohoo!"},  // Space
    {1.3F, "In water"},                // Water
    {0.7F, "In hot air"},              // HotAir
    {1.2F, "In cold air"},             // ColdAir
    {1.0F, "In temperate air"},        // TemperateAir
}};

constexpr EnvironmentTraits kUnknownEnvironment{1.0F, "unknown"};

const EnvironmentTraits& traitsOf(Environment environment) {
  const auto value = static_cast<std::int32_t>(environment);
  if (value < 0 || value >= static_cast<std::int32_t>(kEnvironments.size())) {
    return kUnknownEnvironment;
  }
  return kEnvironments.at(static_cast<std::size_t>(value));
}

}  // namespace

std::string environmentName(Environment environment) {
  return std::string{traitsOf(environment).displayName};
}

float environmentFactor(Environment environment) { return traitsOf(environment).coolingFactor; }

void MechHeatSystem::enterEnvironment(Environment newEnvironment) {
  environment = newEnvironment;
  baseCoolingFactor = environmentFactor(newEnvironment);
}

void MechHeatSystem::setEnvironment(Environment newEnvironment) {
  enterEnvironment(newEnvironment);
  std::cout << "Changing environment to: " << environmentName(newEnvironment) << std::endl;
}

}  // namespace heat
