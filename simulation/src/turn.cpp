#include "simulation/turn.hpp"

namespace simulation {

TurnRanges::TurnRanges(const Rules& rules)
    : sizes{static_cast<std::uint32_t>(rules.heatMax - rules.heatMin + 1),
            static_cast<std::uint32_t>(rules.litersMax - rules.litersMin + 1), kSelectorRange},
      outputs{},
      heatMin{rules.heatMin},
      litersMin{rules.litersMin},
      heatValues{rules.heatValues} {
  if (!heatValues.empty()) {
    std::uint32_t sum = 0;
    for (const std::int32_t weight : rules.heatWeights) {
      sum += static_cast<std::uint32_t>(weight);
      heatWeightsThrough.push_back(sum);
    }
    sizes[0] = sum;
  }
  constexpr std::uint64_t kOutputs = std::uint64_t{1} << 32U;
  for (std::size_t first = 0; first < sizes.size();) {
    std::uint64_t product = sizes.at(first);
    std::size_t end = first + 1;
    for (; end < sizes.size() && product * sizes.at(end) <= kOutputs; ++end) {
      product *= sizes.at(end);
    }
    outputs.at(outputCount++) = Output{first, end, static_cast<std::uint32_t>(kOutputs % product)};
    first = end;
  }
}

}  // namespace simulation
