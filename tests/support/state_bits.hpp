#pragma once

#include <bit>
#include <cstdint>
#include <tuple>

#include "heat/mech_heat_system.hpp"

namespace test_support {

// Every field of a mech's state, the floating-point ones as their bits, so
// that two states compare equal only when they are identical to the bit.
inline auto stateBits(const heat::MechHeatSystem& mech) {
  return std::tuple{std::bit_cast<std::uint32_t>(mech.baseCoolingFactor),
                    mech.heatsinkCount,
                    mech.heatsinkType,
                    std::bit_cast<std::uint32_t>(mech.heatsinkDamage),
                    mech.environment,
                    mech.coolantLiters,
                    std::bit_cast<std::uint32_t>(mech.heatRate),
                    std::bit_cast<std::uint64_t>(mech.totalHeat),
                    mech.overheated,
                    mech.criticalTemperature,
                    std::bit_cast<std::uint64_t>(mech.pendingHeat),
                    std::bit_cast<std::uint64_t>(mech.coolantCooling)};
}

}  // namespace test_support
