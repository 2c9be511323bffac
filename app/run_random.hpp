#pragma once

#include <cstdint>

// The random numbers of one run of a batch: each run has a generator of its
// own, derived from the batch's seed and the run's index, so that a run's
// draws do not depend on which thread plays it or in what order.
namespace batch {

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

  // A number from 0 to range - 1, every one equally likely (Lemire's
  // multiply-and-reject). `range` is from 1 to 2^31 - 1.
  int below(int range) {
    const auto bound = static_cast<std::uint32_t>(range);
    std::uint64_t product = std::uint64_t{next()} * bound;
    if (static_cast<std::uint32_t>(product) < bound) {
      const std::uint32_t threshold = (0U - bound) % bound;
      while (static_cast<std::uint32_t>(product) < threshold) {
        product = std::uint64_t{next()} * bound;
      }
    }
    return static_cast<int>(product >> 32U);
  }

 private:
  std::uint64_t state_ = 0;
  std::uint64_t increment_;
};

}  // namespace batch
