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

}  // namespace simulation
