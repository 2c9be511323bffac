#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simulation {

// Counts of final heat levels in bins narrow enough for percentiles to within
// 0.1 heat units or 0.1 % of the value, whichever is larger. Its size grows
// with the largest heat seen, never with the number of values: one bin for
// exactly 0, 1024 bins of width 1/16 below 64, then 1024 bins for each
// doubling of the heat.
class HeatHistogram {
 public:
  // `heat` is finite and not below 0, as the model keeps every heat level.
  void add(double heat);
  void merge(const HeatHistogram& other);

  [[nodiscard]] std::uint64_t count() const { return count_; }
  [[nodiscard]] double min() const { return min_; }
  [[nodiscard]] double max() const { return max_; }

  // The smallest value that at least `fraction` of all values do not exceed
  // (nearest rank), as the middle of its bin, 0 exactly for the bin of 0, and
  // never below the smallest value or above the largest. `fraction` is from 0
  // to 1; needs count() > 0.
  [[nodiscard]] double percentile(double fraction) const;

 private:
  std::vector<std::uint64_t> bins_;
  std::uint64_t count_ = 0;
  double min_ = 0.0;
  double max_ = 0.0;
};

}  // namespace simulation
