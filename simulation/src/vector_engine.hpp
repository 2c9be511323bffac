#pragma once

#include <cstddef>
#include <cstdint>

// The vector engines: the batch's runs played kLanes at a time, one run in
// each lane, by code compiled once for each x86 instruction set, and for
// WebAssembly's SIMD. They see
// plain records only, so that the code compiled for a wider set than the
// processor may have shares no function with the rest of the library (the
// linker could otherwise pick its copy of an inline function for everyone).
namespace simulation::lanes {

inline constexpr std::size_t kLanes = 8;
inline constexpr std::size_t kSelectorCount = 5;

// A histogram being filled: its bins, which `grow` makes hold a bin (it may
// move them), and each lane's extremes so far.
struct Histogram {
  std::uint64_t* bins;
  std::uint64_t size;
  void* owner;
  void (*grow)(Histogram& histogram, std::uint64_t bin);
  alignas(64) double min[kLanes];  // aligned as a vector of all lanes
  alignas(64) double max[kLanes];
};

// One turn's tally: the runs in each state, the heat sums of every run in
// run order, and the histogram of the turn if it is charted.
struct TurnLanes {
  std::uint64_t overheated;
  std::uint64_t critical;
  std::uint64_t coolantEmpty;
  std::uint64_t everOverheated;
  std::uint64_t everCritical;
  double heatSum;
  double heatSquares;
  Histogram* chart;  // null when the turn is not charted
};

// The numbers a turn draws (TurnRanges in simulation/turn.hpp): numbers
// first to end, of heat, liters and selector, from one 32-bit output, drawn
// again while its remainder is below biasedBelow.
struct Output {
  std::uint32_t first;
  std::uint32_t end;
  std::uint32_t biasedBelow;
};

// A turn's rules (simulation/rules.hpp, heat/cooling_rules.hpp), as the
// vector engines take them.
struct TurnRules {
  std::uint32_t sizes[3];  // heat, liters, selector
  Output outputs[3];
  std::uint32_t outputCount;
  std::int32_t heatMin;
  std::int32_t litersMin;
  // A table of heats, when heatValueCount is not 0: each value, and the
  // running sums of the weights.
  const std::int32_t* heatValues;
  const std::uint32_t* heatWeightsThrough;
  std::size_t heatValueCount;
  std::int32_t damageAbove;    // a turn adding more heat damages
  std::int32_t moveAtMost;     // a turn drawing at most this many liters moves
  std::int32_t coolantAtMost;  // a turn whose selector is at most this draws coolant
  double perLiter;
  double overheatAbove;
  double criticalAbove;
};

// Runs [first, end) of a batch of the starting mech described here, from a
// mech with no heat or coolant pending; at least kLanes runs.
struct Job {
  std::uint32_t seed;
  std::uint64_t first;
  std::uint64_t end;
  TurnRules rules;
  double totalHeat;
  float heatsinkDamage;
  float baseCoolingFactor;
  std::int32_t coolantLiters;
  bool criticalTemperature;  // the flag may outlast the heat; overheating is of each turn
  double heatsinkCount;
  double heatsinkMultiplier;
  float factors[kSelectorCount];  // each selector's destination's cooling factor
  float damage[kSelectorCount];   // each selector's heatsink damage
  TurnLanes* turns;
  std::size_t turnCount;
  Histogram* finalHeat;
  std::uint64_t hottestRun;  // the hottest run before these, updated
  double hottestHeat;
  std::uint64_t damagedOut;  // runs whose heatsinks lost more than their capacity, added to
  // Unless null, each run's outcome (RunOutcomes in batch.hpp), from run first on.
  std::uint8_t* outcomeFlags;
  double* outcomeHeat;
};

}  // namespace simulation::lanes

// One engine for each instruction set; the processor must have it.
namespace simulation::sse4 {
void playLanes(lanes::Job& job);
}
namespace simulation::avx2 {
void playLanes(lanes::Job& job);
}
namespace simulation::avx512 {
void playLanes(lanes::Job& job);
}
#if defined(__wasm__)
// A WebAssembly module cannot test what the browser runs: it has SIMD
// instructions or not. Only the web page's SIMD module links this engine;
// in the other it is null.
namespace simulation::simd128 {
[[gnu::weak]] void playLanes(lanes::Job& job);
}
#endif
