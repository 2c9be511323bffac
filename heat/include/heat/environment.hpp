#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace heat {

// Where a mech stands. Any 32-bit value may be stored; values outside the
// named ones are an "unknown" environment with a neutral cooling factor.
enum class Environment : std::int32_t {
  Space = 0,
  Water = 1,
  HotAir = 2,
  ColdAir = 3,
  TemperateAir = 4,
};

// Everything known about one environment: the multiplier it applies to all
// cooling, the name the console shows, and the name a user types for it.
struct EnvironmentTraits {
  Environment environment;
  float coolingFactor;
  std::string_view displayName;
  std::string_view optionName;
};

// The named environments, in the order of their values.
inline constexpr std::array<EnvironmentTraits, 5> kEnvironments{{
    {Environment::Space, 2.0F, "We're in space, wohoo!", "space"},
    {Environment::Water, 1.3F, "In water", "water"},
    {Environment::HotAir, 0.7F, "In hot air", "hot-air"},
    {Environment::ColdAir, 1.2F, "In cold air", "cold-air"},
    {Environment::TemperateAir, 1.0F, "In temperate air", "temperate-air"},
}};

// The traits of an environment; for a value that names none, a factor of 1
// and the names "unknown".
[[nodiscard]] const EnvironmentTraits& traitsOf(Environment environment);

// The display name of an environment, "unknown" for any unnamed value.
[[nodiscard]] std::string environmentName(Environment environment);

// The multiplier an environment applies to all cooling, 1 for any unnamed value.
[[nodiscard]] float environmentFactor(Environment environment);

// The environment a user's name stands for ("space", "hot-air", ...), if any.
[[nodiscard]] std::optional<Environment> environmentNamed(std::string_view optionName);

}  // namespace heat
