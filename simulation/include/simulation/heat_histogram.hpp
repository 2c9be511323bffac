#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace simulation {

// Counts of heat levels in bins: one for exactly 0, `LinearBinsPerUnit` bins
// per heat unit below 64, then 2^`BinBitsPerDoubling` bins for each doubling
// of the heat. Its size grows with the largest heat seen, never with the
// number of values.
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
class BasicHeatHistogram {
 public:
  // `heat` is finite and not below 0, as the model keeps every heat level.
  void add(double heat);
  void merge(const BasicHeatHistogram& other);

  // For an engine that fills a histogram that had no value: the counts,
  // made to end with `bin`, beyond the last one, for it to increment; then
  // how many values it counted (at least one) and their extremes.
  [[nodiscard]] std::uint64_t* binsThrough(std::size_t bin);
  void setCounted(std::uint64_t values, double min, double max);

  [[nodiscard]] std::uint64_t count() const { return count_; }
  [[nodiscard]] double min() const { return min_; }
  [[nodiscard]] double max() const { return max_; }

  // The smallest value that at least `fraction` of all values do not exceed
  // (nearest rank), as the middle of its bin, 0 exactly for the bin of 0, and
  // never below the smallest value or above the largest. `fraction` is from 0
  // to 1; needs count() > 0.
  [[nodiscard]] double percentile(double fraction) const;

  // The counts, from the bin of 0 up, and the range of heat each bin holds.
  [[nodiscard]] const std::vector<std::uint64_t>& bins() const { return bins_; }
  [[nodiscard]] static std::size_t binOf(double heat);
  [[nodiscard]] static double lowEdge(std::size_t bin);
  [[nodiscard]] static double highEdge(std::size_t bin);

 private:
  std::vector<std::uint64_t> bins_;
  std::uint64_t count_ = 0;
  double min_ = 0.0;
  double max_ = 0.0;
};

// The final heat's: percentiles to within 0.1 heat units or 0.1 % of the
// value, whichever is larger.
using HeatHistogram = BasicHeatHistogram<16, 10>;

// Each charted turn's: to within 0.5 heat units below 64, and 1.6 % of the
// value above.
using TurnHeatHistogram = BasicHeatHistogram<1, 5>;

extern template class BasicHeatHistogram<16, 10>;
extern template class BasicHeatHistogram<1, 5>;

}  // namespace simulation
