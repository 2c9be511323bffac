#pragma once

#include <cstdint>
#include <string>

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

// The display name of an environment, "unknown" for any unnamed value.
[[nodiscard]] std::string environmentName(Environment environment);

// The multiplier an environment applies to all cooling, 1 for any unnamed value.
[[nodiscard]] float environmentFactor(Environment environment);

}  // namespace heat
