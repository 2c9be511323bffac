#pragma once

#include <cstdint>

// How precise a batch's estimates are.
namespace simulation {

// The two-sided 95 % point of the normal distribution.
inline constexpr double kZ95 = 1.959963984540054;

struct Interval {
  double low;
  double high;
};

// The 95 % Wilson score interval of the share `count` of `runs` (runs > 0).
[[nodiscard]] Interval shareInterval(std::uint64_t count, std::uint64_t runs);

// The 95 % interval of a mean, 1.96 standard errors on either side, from the
// sum and the sum of squares of `runs` values (runs > 0); a single value has
// no spread.
[[nodiscard]] Interval meanInterval(double sum, double squares, std::uint64_t runs);

// The 95 % interval of the difference of two shares of the same runs, the
// first's less the second's, by Newcombe's score method for paired shares
// (his method 10): `both` runs had the flag in both, `onlyFirst` in the first
// only, `onlySecond` in the second only, `neither` in neither (runs > 0).
[[nodiscard]] Interval pairedDifferenceInterval(std::uint64_t both, std::uint64_t onlyFirst,
                                                std::uint64_t onlySecond, std::uint64_t neither);

// Whether `interval` lies within `margin` on both sides of `estimate`.
[[nodiscard]] constexpr bool within(const Interval& interval, double estimate, double margin) {
  return estimate - interval.low <= margin && interval.high - estimate <= margin;
}

}  // namespace simulation
