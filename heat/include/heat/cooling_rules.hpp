#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "heat/environment.hpp"

namespace heat {

enum class HeatsinkType : std::int32_t {
  Single = 0,
  Double = 1,  // sheds cooling.double, by default twice a single heatsink's heat
};

// The numbers of a cooling update: what a liter of coolant and each kind of
// heatsink shed, the heat levels above which a mech overheats and turns
// critical, and each environment's cooling factor. The defaults are the
// game's own.
struct CoolingRules {
  double perLiter = 2.0;
  double singleHeatsink = 1.0;
  double doubleHeatsink = 2.0;
  double overheatAbove = 60.0;
  double criticalAbove = 100.0;
  // By environment, in the order of the enumerators.
  std::array<float, kEnvironments.size()> factors{
      kEnvironments[0].coolingFactor, kEnvironments[1].coolingFactor,
      kEnvironments[2].coolingFactor, kEnvironments[3].coolingFactor,
      kEnvironments[4].coolingFactor};

  // The factor of an environment, 1 for any unnamed value.
  [[nodiscard]] constexpr float factorOf(Environment environment) const {
    const auto value = static_cast<std::int32_t>(environment);
    if (value < 0 || value >= static_cast<std::int32_t>(factors.size())) {
      return 1.0F;
    }
    return factors.at(static_cast<std::size_t>(value));
  }

  // What one undamaged heatsink of `type` sheds in an environment of factor 1.
  [[nodiscard]] constexpr double heatsinkCooling(HeatsinkType type) const {
    return type == HeatsinkType::Double ? doubleHeatsink : singleHeatsink;
  }

  bool operator==(const CoolingRules&) const = default;  // GCOVR_EXCL_BR_LINE: member by member
};

inline constexpr CoolingRules kDefaultCoolingRules{};

}  // namespace heat
