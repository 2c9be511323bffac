#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "simulation/turn.hpp"

// The random numbers of one run of a batch: each run has a generator of its
// own, derived from the batch's seed and the run's index, so that a run's
// draws do not depend on which thread plays it or in what order.
namespace simulation {

// One step of SplitMix64: a well-mixed 64-bit value from any 64-bit input.
constexpr std::uint64_t splitMix64(std::uint64_t value) {
  value += 0x9e3779b97f4a7c15U;
  value = (value ^ (value >> 30U)) * 0xbf58476d1ce4e5b9U;
  value = (value ^ (value >> 27U)) * 0x94d049bb133111ebU;
  return value ^ (value >> 31U);
}

// PCG32 (XSH RR): 64 bits of state, 32-bit outputs, one stream per run.
class RunRandom {
 public:
  RunRandom(std::uint32_t batchSeed, std::uint64_t runIndex) : increment_{(runIndex << 1U) | 1U} {
    next();
    state_ += splitMix64(splitMix64(batchSeed) + runIndex);
    next();
  }

  std::uint32_t next() {
    constexpr std::uint64_t kMultiplier = 6364136223846793005U;
    const std::uint64_t old = state_;
    state_ = old * kMultiplier + increment_;
    const auto shuffled = static_cast<std::uint32_t>(((old >> 18U) ^ old) >> 27U);
    const auto rotation = static_cast<std::uint32_t>(old >> 59U);
    return (shuffled >> rotation) | (shuffled << ((32U - rotation) & 31U));
  }

  // A turn's three numbers, heat, liters and selector in that order, each
  // equally likely: multiplying an output by a range's size takes a number
  // from the high half of the product and leaves in its low half the
  // fraction the next number is taken from (Lemire's multiply-and-reject,
  // over several ranges at once). The numbers of one output together make
  // one number below the product of their sizes, and a final remainder
  // below 2^32 modulo that product would favour some of them: then that
  // output is drawn again (by the game's own rules, about once in 400000
  // turns).
  // GCOVR_EXCL_BR_START: at()'s and the draws' exception paths; every other way is tested
  TurnDraws drawTurn(const TurnRanges& ranges) {
    const auto take = [](std::uint32_t& fraction, std::uint32_t size) {
      const std::uint64_t product = std::uint64_t{fraction} * size;
      fraction = static_cast<std::uint32_t>(product);
      return static_cast<std::uint32_t>(product >> 32U);
    };
    if (ranges.outputCount == 1) [[likely]] {
      for (;;) {
        std::uint32_t fraction = next();
        const std::uint32_t heat = take(fraction, ranges.sizes[0]);
        const std::uint32_t liters = take(fraction, ranges.sizes[1]);
        const std::uint32_t selector = take(fraction, ranges.sizes[2]);
        if (fraction >= ranges.outputs[0].biasedBelow) {
          return ranges.draws(heat, liters, selector);
        }
      }
    }
    std::array<std::uint32_t, 3> index{};
    for (std::size_t output = 0; output < ranges.outputCount; ++output) {
      const TurnRanges::Output& drawn = ranges.outputs.at(output);
      for (;;) {
        std::uint32_t fraction = next();
        for (std::size_t number = drawn.first; number < drawn.end; ++number) {
          index.at(number) = take(fraction, ranges.sizes.at(number));
        }
        if (fraction >= drawn.biasedBelow) {
          break;
        }
      }
    }
    return ranges.draws(index[0], index[1], index[2]);
  }

  // GCOVR_EXCL_BR_STOP

 private:
  std::uint64_t state_ = 0;
  std::uint64_t increment_;
};

}  // namespace simulation
