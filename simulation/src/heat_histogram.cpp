#include "simulation/heat_histogram.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numeric>

namespace simulation {
namespace {

constexpr double kLinearEnd = 64.0;
constexpr int kMantissaBits = 52;

// Where a histogram's bins lie: bin 0 holds exactly 0; the next ones the
// linear part; above them, the exponent and the top mantissa bits of a
// positive double, which grow with its value.
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
struct Bins {
  static constexpr double kPerUnit = LinearBinsPerUnit;
  static constexpr auto kLinear = static_cast<std::size_t>(64 * LinearBinsPerUnit);
  static constexpr int kDroppedBits = kMantissaBits - BinBitsPerDoubling;
  static constexpr std::uint64_t kLogarithmicStart =
      std::bit_cast<std::uint64_t>(kLinearEnd) >> kDroppedBits;

  static std::size_t of(double heat) {
    if (heat <= 0.0) {
      return 0;
    }
    if (heat < kLinearEnd) {
      return 1 + static_cast<std::size_t>(heat * kPerUnit);
    }
    return 1 + kLinear + ((std::bit_cast<std::uint64_t>(heat) >> kDroppedBits) - kLogarithmicStart);
  }

  static double low(std::size_t bin) {
    if (bin <= kLinear) {
      return bin == 0 ? 0.0 : static_cast<double>(bin - 1) / kPerUnit;
    }
    return std::bit_cast<double>((bin - 1 - kLinear + kLogarithmicStart) << kDroppedBits);
  }

  static double high(std::size_t bin) { return bin == 0 ? 0.0 : low(bin + 1); }
};

}  // namespace

template <int L, int B>
void BasicHeatHistogram<L, B>::add(double heat) {
  const std::size_t bin = Bins<L, B>::of(heat);
  if (bin >= bins_.size()) {
    bins_.resize(bin + 1);
  }
  ++bins_[bin];
  min_ = count_ == 0 ? heat : std::min(min_, heat);
  max_ = std::max(max_, heat);
  ++count_;
}

template <int L, int B>
void BasicHeatHistogram<L, B>::merge(const BasicHeatHistogram& other) {
  if (other.bins_.size() > bins_.size()) {
    bins_.reserve(other.bins_.size());  // no more than it needs: many are kept
    bins_.resize(other.bins_.size());
  }
  std::transform(other.bins_.begin(), other.bins_.end(), bins_.begin(), bins_.begin(), std::plus{});
  if (other.count_ > 0) {
    min_ = count_ == 0 ? other.min_ : std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
  }
  count_ += other.count_;
}

template <int L, int B>
std::uint64_t* BasicHeatHistogram<L, B>::binsThrough(std::size_t bin) {
  bins_.resize(bin + 1);
  return bins_.data();
}

template <int L, int B>
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): how many, then least and largest
void BasicHeatHistogram<L, B>::setCounted(std::uint64_t values, double min, double max) {
  count_ = values;
  min_ = min;
  max_ = max;
}

template <int L, int B>
double BasicHeatHistogram<L, B>::percentile(double fraction) const {
  const auto rank = std::max<std::uint64_t>(
      1, static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(count_))));
  std::uint64_t seen = 0;
  std::size_t bin = 0;
  while (seen + bins_[bin] < rank) {
    seen += bins_[bin];
    ++bin;
  }
  // The middle of the bin.
  const double middle = std::midpoint(lowEdge(bin), highEdge(bin));
  return std::clamp(middle, min_, max_);
}

template <int L, int B>
std::size_t BasicHeatHistogram<L, B>::binOf(double heat) {
  return Bins<L, B>::of(heat);
}

template <int L, int B>
double BasicHeatHistogram<L, B>::lowEdge(std::size_t bin) {
  return Bins<L, B>::low(bin);
}

template <int L, int B>
double BasicHeatHistogram<L, B>::highEdge(std::size_t bin) {
  return Bins<L, B>::high(bin);
}

template class BasicHeatHistogram<16, 10>;
template class BasicHeatHistogram<1, 5>;

}  // namespace simulation
