#include "simulation/statistics.hpp"

#include <algorithm>
#include <cmath>

namespace simulation {

Interval shareInterval(std::uint64_t count, std::uint64_t runs) {
  const auto n = static_cast<double>(runs);
  const double share = static_cast<double>(count) / n;
  const double zz = kZ95 * kZ95;
  const double scale = 1.0 + zz / n;
  const double centre = (share + zz / (2.0 * n)) / scale;
  const double half = kZ95 * std::sqrt(share * (1.0 - share) / n + zz / (4.0 * n * n)) / scale;
  // None of the runs, or all of them: the interval ends exactly at 0 or 1,
  // where rounding would leave it a hair away.
  return Interval{count == 0 ? 0.0 : centre - half, count == runs ? 1.0 : centre + half};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a sum and a sum of squares, named alike
Interval meanInterval(double sum, double squares, std::uint64_t runs) {
  const auto n = static_cast<double>(runs);
  const double mean = sum / n;
  if (runs < 2) {
    return Interval{mean, mean};
  }
  // The sample variance; rounding may leave it just below 0 when all values are equal.
  const double variance = std::max(0.0, (squares - sum * mean) / (n - 1.0));
  const double half = kZ95 * std::sqrt(variance / n);
  return Interval{mean - half, mean + half};
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the four cells of a table
Interval pairedDifferenceInterval(std::uint64_t both, std::uint64_t onlyFirst,
                                  std::uint64_t onlySecond, std::uint64_t neither) {
  const std::uint64_t runs = both + onlyFirst + onlySecond + neither;
  const std::uint64_t first = both + onlyFirst;
  const std::uint64_t second = both + onlySecond;
  const auto n = static_cast<double>(runs);
  const double share1 = static_cast<double>(first) / n;
  const double share2 = static_cast<double>(second) / n;
  const Interval interval1 = shareInterval(first, runs);
  const Interval interval2 = shareInterval(second, runs);
  // The correlation of the two flags, its numerator moved n/2 towards 0 (to 0
  // when it is within n/2 above it); 0 when either share is 0 or 1.
  double correlation = 0.0;
  if (first != 0 && first != runs && second != 0 && second != runs) {
    const double crossing = static_cast<double>(both) * static_cast<double>(neither) -
                            static_cast<double>(onlyFirst) * static_cast<double>(onlySecond);
    const double corrected = crossing > n / 2.0 ? crossing - n / 2.0 : std::min(crossing, 0.0);
    correlation =
        corrected / std::sqrt(static_cast<double>(first) * static_cast<double>(runs - first) *
                              static_cast<double>(second) * static_cast<double>(runs - second));
  }
  // Each side squares and adds the two shares' sides that move it.
  const auto side = [&](double distance1, double distance2) {
    return std::sqrt(std::max(0.0, distance1 * distance1 + distance2 * distance2 -
                                       2.0 * correlation * distance1 * distance2));
  };
  const double difference = share1 - share2;
  return Interval{difference - side(share1 - interval1.low, interval2.high - share2),
                  difference + side(interval1.high - share1, share2 - interval2.low)};
}

}  // namespace simulation
