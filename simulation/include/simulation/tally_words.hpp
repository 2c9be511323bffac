#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "simulation/batch.hpp"

// Batch tallies as 64-bit words, floating-point numbers as their bits, and
// back: how the web page's workers, each with a memory of its own, hand the
// tallies of the blocks they played to the one that adds them.
namespace simulation {

// Appends the words of `tally` to `words`.
void appendTallyWords(const BatchTally& tally, std::vector<std::uint64_t>& words);

// The tally whose words `words` begins with, which it is left after; none
// when it is too short or its sizes do not fit in it.
[[nodiscard]] std::optional<BatchTally> readTallyWords(std::span<const std::uint64_t>& words);

}  // namespace simulation
