#include "simulation/heat_histogram.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numeric>

namespace simulation {
namespace {

constexpr double kLinearEnd = 64.0;
constexpr double kLinearBinsPerUnit = 16.0;
constexpr std::size_t kLinearBins = 1024;  // 64 * 16
constexpr int kMantissaBits = 52;
constexpr int kBinBitsPerDoubling = 10;  // 1024 bins per doubling
constexpr int kDroppedBits = kMantissaBits - kBinBitsPerDoubling;
constexpr std::uint64_t kLogarithmicStart =
    std::bit_cast<std::uint64_t>(kLinearEnd) >> kDroppedBits;

// Bin 0 holds exactly 0; bins 1 to 1024 the linear part; above them, the
// exponent and the top mantissa bits of a positive double, which grow with
// its value.
std::size_t binOf(double heat) {
  if (heat <= 0.0) {
    return 0;
  }
  if (heat < kLinearEnd) {
    return 1 + static_cast<std::size_t>(heat * kLinearBinsPerUnit);
  }
  return 1 + kLinearBins +
         ((std::bit_cast<std::uint64_t>(heat) >> kDroppedBits) - kLogarithmicStart);
}

// The middle of a bin's range of values.
double middleOf(std::size_t bin) {
  if (bin == 0) {
    return 0.0;
  }
  if (bin <= kLinearBins) {
    return (static_cast<double>(bin - 1) + 0.5) / kLinearBinsPerUnit;
  }
  const std::uint64_t low = (bin - 1 - kLinearBins + kLogarithmicStart) << kDroppedBits;
  const std::uint64_t high = low + (std::uint64_t{1} << kDroppedBits);
  return std::midpoint(std::bit_cast<double>(low), std::bit_cast<double>(high));
}

}  // namespace

void HeatHistogram::add(double heat) {
  const std::size_t bin = binOf(heat);
  if (bin >= bins_.size()) {
    bins_.resize(bin + 1);
  }
  ++bins_[bin];
  min_ = count_ == 0 ? heat : std::min(min_, heat);
  max_ = std::max(max_, heat);
  ++count_;
}

void HeatHistogram::merge(const HeatHistogram& other) {
  if (other.bins_.size() > bins_.size()) {
    bins_.resize(other.bins_.size());
  }
  std::transform(other.bins_.begin(), other.bins_.end(), bins_.begin(), bins_.begin(), std::plus{});
  if (other.count_ > 0) {
    min_ = count_ == 0 ? other.min_ : std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
  }
  count_ += other.count_;
}

double HeatHistogram::percentile(double fraction) const {
  const auto rank = std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(count_))));
  std::uint64_t seen = 0;
  std::size_t bin = 0;
  while (seen + bins_[bin] < rank) {
    seen += bins_[bin];
    ++bin;
  }
  return std::clamp(middleOf(bin), min_, max_);
}

}  // namespace simulation
