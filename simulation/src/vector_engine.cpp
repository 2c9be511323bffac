// The vector engine, compiled once for each instruction set with
// MECH_HEAT_TARGET naming it. Each lane of a vector is a run: every step
// does for a vector of runs (8 with AVX-512, 4 with AVX2, 2 with SSE4, 4
// vectors of 2 with WebAssembly's 128-bit SIMD) what
// the scalar engine does for one, with the same operations on the same
// values in the same order, so that each lane's numbers are those of its
// run, bit for bit (RunRandom in run_random.hpp, the model's silent steps in
// heat/src/, playRun in batch.cpp).
//
// The vectors are the compiler's (vector_size), as wide as the widest
// register. A run's state stays in them from its first turn to its last.
// Nothing here calls an inline function of another file, not even of the
// standard library: see vector_engine.hpp.

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#else
#include <immintrin.h>
#endif

#include "vector_engine.hpp"

#ifndef MECH_HEAT_TARGET
#error "MECH_HEAT_TARGET must name the instruction set this file is compiled for"
#endif

// The lanes of the records of vector_engine.hpp are plain arrays: std::array
// or std::span would bring inline functions shared with other files.
// NOLINTBEGIN(cppcoreguidelines-pro-bounds-constant-array-index,cppcoreguidelines-pro-bounds-pointer-arithmetic)
namespace simulation::MECH_HEAT_TARGET {
namespace {

using lanes::Histogram;
using lanes::Job;
using lanes::TurnLanes;

// The widest vector there is, and what the compiler's vectors do not have:
// a test of all its lanes, its lanes' sign bits in an integer, and the
// products of its 32-bit halves.
#if defined(__AVX512F__)
using Part = __m512i;
bool anyBit(Part part) { return _mm512_test_epi64_mask(part, part) != 0; }
unsigned signBits(Part part) { return _mm512_movepi64_mask(part); }
Part lowProducts(Part a, Part b) { return _mm512_maskz_mul_epu32(0xff, a, b); }
#elif defined(__wasm_simd128__)
// WebAssembly's vectors hold two runs. The browser compiles the module's
// code with fewer optimisations than a compiler does, and the runs of one
// vector waited long for each step: four vectors are played as one, side by
// side (a quarter to a third faster than one, in Chromium and Node.js).
constexpr std::size_t kPieces = 4;
struct Part {
  v128_t piece[kPieces];
};
template <typename Step>
Part eachPiece(Part a, Part b, Step step) {
  Part done{};
  for (std::size_t piece = 0; piece < kPieces; ++piece) {
    done.piece[piece] = step(a.piece[piece], b.piece[piece]);
  }
  return done;
}
bool anyBit(Part part) {
  v128_t all = part.piece[0];
  for (std::size_t piece = 1; piece < kPieces; ++piece) {
    all = wasm_v128_or(all, part.piece[piece]);
  }
  return wasm_v128_any_true(all);
}
unsigned signBits(Part part) {
  unsigned bits = 0;
  for (std::size_t piece = 0; piece < kPieces; ++piece) {
    bits |= wasm_i64x2_bitmask(part.piece[piece]) << (2 * piece);
  }
  return bits;
}
// The low halves, lanes 0 and 2 of 32 bits, side by side, then multiplied.
Part lowProducts(Part a, Part b) {
  return eachPiece(a, b, [](v128_t x, v128_t y) {
    return wasm_u64x2_extmul_low_u32x4(wasm_i32x4_shuffle(x, x, 0, 2, 0, 2),
                                       wasm_i32x4_shuffle(y, y, 0, 2, 0, 2));
  });
}
#elif defined(__AVX2__)
using Part = __m256i;
bool anyBit(Part part) { return _mm256_testz_si256(part, part) == 0; }
unsigned signBits(Part part) {
  return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(part)));
}
Part lowProducts(Part a, Part b) { return _mm256_mul_epu32(a, b); }
#else
using Part = __m128i;
bool anyBit(Part part) { return _mm_testz_si128(part, part) == 0; }
unsigned signBits(Part part) {
  return static_cast<unsigned>(_mm_movemask_pd(_mm_castsi128_pd(part)));
}
Part lowProducts(Part a, Part b) { return _mm_mul_epu32(a, b); }
#endif

// As many runs as the widest vector holds 64-bit numbers: the compiler's
// vectors of more would be taken apart lane by lane.
constexpr std::size_t kVectorBytes = sizeof(Part);
constexpr std::size_t kWidth = kVectorBytes / 8;
static_assert(kWidth <= lanes::kLanes);
using U64 = std::uint64_t __attribute__((vector_size(kVectorBytes)));
using I64 = std::int64_t __attribute__((vector_size(kVectorBytes)));  // also masks: -1 or 0
using F64 = double __attribute__((vector_size(kVectorBytes)));

template <typename To, typename From>
To as(From from) {
  return __builtin_bit_cast(To, from);
}

// A vector from the first lanes of a record's array, and back.
template <typename Vector, typename Element>
Vector load(const Element (&from)[lanes::kLanes]) {
  static_assert(sizeof(Vector) <= sizeof from);
  Vector vector;
  __builtin_memcpy(&vector, &from, sizeof vector);
  return vector;
}

template <typename Vector, typename Element>
void store(Element (&to)[lanes::kLanes], Vector vector) {
  static_assert(sizeof(Vector) <= sizeof to);
  __builtin_memcpy(&to, &vector, sizeof vector);
}

// Whether a mask holds in any lane.
bool any(I64 mask) { return anyBit(as<Part>(mask)); }

// Each lane's a < b as a mask, of numbers that fit in 32 bits, signed
// (less) or not (lessUnsigned). WebAssembly compares 64-bit lanes as signed
// numbers only, and the compiler, knowing some not to be negative, would
// compare those as unsigned ones, lane by lane: there the low halves are
// compared, and their masks spread over the lanes.
#if defined(__wasm_simd128__)
I64 less(I64 a, I64 b) {
  return as<I64>(eachPiece(as<Part>(a), as<Part>(b), [](v128_t x, v128_t y) {
    const v128_t low = wasm_i32x4_lt(x, y);
    return wasm_i32x4_shuffle(low, low, 0, 0, 2, 2);
  }));
}
I64 lessUnsigned(U64 a, U64 b) {
  return as<I64>(eachPiece(as<Part>(a), as<Part>(b), [](v128_t x, v128_t y) {
    const v128_t low = wasm_u32x4_lt(x, y);
    return wasm_i32x4_shuffle(low, low, 0, 0, 2, 2);
  }));
}
#else
I64 less(I64 a, I64 b) { return a < b; }
I64 lessUnsigned(U64 a, U64 b) { return as<I64>(a) < as<I64>(b); }  // neither is negative
#endif

// The full products of the lanes' low 32-bit halves.
U64 lowTimes(U64 a, U64 b) { return as<U64>(lowProducts(as<Part>(a), as<Part>(b))); }

// The products modulo 2^64: without AVX-512 the compiler would multiply
// lane by lane; WebAssembly has them.
U64 times(U64 a, std::uint64_t b) {
#if defined(__AVX512DQ__) || defined(__wasm_simd128__)
  return a * b;
#else
  const U64 high = U64{} + (b >> 32U);
  const U64 low = U64{} + b;
  return lowTimes(a, low) + ((lowTimes(a >> 32U, low) + lowTimes(a, high)) << 32U);
#endif
}

// The double of whole numbers below 2^52, exactly; and the whole part of
// numbers from 0 to below 2^51.
#if defined(__AVX512DQ__)
F64 toDouble(U64 whole) { return __builtin_convertvector(whole, F64); }
U64 wholePart(F64 value) { return __builtin_convertvector(value, U64); }
#else
// By the bits of 2^52 + x, whose last bits are x's.
constexpr double kTwoTo52 = 4503599627370496.0;
constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52U) - 1;

F64 toDouble(U64 whole) { return as<F64>(whole | as<std::uint64_t>(kTwoTo52)) - kTwoTo52; }

U64 wholePart(F64 value) {
  const F64 shifted = value + kTwoTo52;  // rounded to a whole number, in the low bits
  const U64 nearest = as<U64>(shifted) & kMantissa;
  return nearest + as<U64>(shifted - kTwoTo52 > value);  // one less where rounded up
}
#endif

// The float nearest to each lane, as a double.
F64 narrowed(F64 value) {
#if defined(__AVX512F__)
  return as<F64>(_mm512_maskz_cvtps_pd(0xff, _mm512_maskz_cvtpd_ps(0xff, as<__m512d>(value))));
#elif defined(__wasm_simd128__)
  return as<F64>(eachPiece(as<Part>(value), as<Part>(value), [](v128_t x, v128_t) {
    return wasm_f64x2_promote_low_f32x4(wasm_f32x4_demote_f64x2_zero(x));
  }));
#elif defined(__AVX2__)
  return as<F64>(_mm256_cvtps_pd(_mm256_cvtpd_ps(as<__m256d>(value))));
#else
  return as<F64>(_mm_cvtps_pd(_mm_cvtpd_ps(as<__m128d>(value))));
#endif
}

// Each lane, or 0 where it is below 0 (-0 and NaN kept as they are).
F64 notBelowZero(F64 value) {
#if defined(__AVX512F__)
  return as<F64>(_mm512_maskz_max_pd(0xff, __m512d{}, as<__m512d>(value)));
#elif defined(__wasm_simd128__)
  return as<F64>(eachPiece(as<Part>(value), as<Part>(value), [](v128_t x, v128_t) {
    return wasm_f64x2_pmax(x, v128_t{});  // x < 0 ? 0 : x
  }));
#elif defined(__AVX2__)
  return as<F64>(_mm256_max_pd(__m256d{}, as<__m256d>(value)));
#else
  return as<F64>(_mm_max_pd(__m128d{}, as<__m128d>(value)));
#endif
}

// A selector's table of floats: as doubles, and as floats for AVX2, whose
// permutes take 32-bit lanes.
struct Table {
  alignas(64) double wide[lanes::kLanes];  // the widest vector's lanes, to load as one
  alignas(32) float narrow[lanes::kLanes];
};

// Each lane's entry of a table, by index: a selector's.
F64 lookUp(const Table& table, I64 index) {
#if defined(__AVX512F__)
  return as<F64>(_mm512_maskz_permutexvar_pd(0xff, as<__m512i>(index), load<__m512d>(table.wide)));
#elif defined(__AVX2__)
  // The indices' low halves first, then the floats they pick, widened.
  const __m256i low =
      _mm256_permutevar8x32_epi32(as<__m256i>(index), _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
  const __m256 found = _mm256_permutevar8x32_ps(load<__m256>(table.narrow), low);
  return as<F64>(_mm256_cvtps_pd(_mm256_castps256_ps128(found)));
#else
  F64 found = F64{} + table.wide[0];
  for (std::size_t entry = 1; entry < lanes::kSelectorCount; ++entry) {
    found = index == static_cast<std::int64_t>(entry) ? table.wide[entry] : found;
  }
  return found;
#endif
}

// RunRandom's: PCG32, seeded through SplitMix64.
constexpr std::uint64_t kMultiplier = 6364136223846793005U;
constexpr std::uint64_t kLowHalf = 0xffffffffU;

// A turn's rules as the vectors compare and multiply them: kept in a local
// of the loop over the turns, whose stores cannot change it, so that they
// stay in registers.
struct Numbers {
  std::uint64_t sizes[3];     // heat, liters, selector
  std::uint64_t biasedBelow;  // of a turn drawn from one output
  std::int64_t heatMin;
  std::int64_t litersMin;
  std::int64_t damageAbove;
  std::int64_t moveAtMost;
  std::int64_t coolantAtMost;
  double perLiter;
  double overheatAbove;
  double criticalAbove;
  bool inVectors;  // see drawnInVectors
};

// Whether a turn is drawn from one output, its heat from heatMin up: the
// vectors draw such turns, a turn drawn again aside.
bool drawnInVectors(const lanes::TurnRules& rules) {
  return rules.outputCount == 1 && rules.heatValueCount == 0;
}

// The same on one number, for the generators' seeds and a turn drawn again.
std::uint64_t times(std::uint64_t a, std::uint64_t b) { return a * b; }

template <typename Value>
Value splitMix64(Value value) {
  value += 0x9e3779b97f4a7c15U;
  value = times(value ^ (value >> 30U), 0xbf58476d1ce4e5b9U);
  value = times(value ^ (value >> 27U), 0x94d049bb133111ebU);
  return value ^ (value >> 31U);
}

// PCG32's output for the state before a step, in the low half: the 32-bit
// rotation is a 64-bit shift of the shuffled bits put twice.
std::uint64_t output(std::uint64_t old) {
  const std::uint64_t shuffled = ((old >> 18U) ^ old) >> 27U;
  const std::uint64_t twice = (shuffled << 32U) | (shuffled & kLowHalf);
  return (twice >> (old >> 59U)) & kLowHalf;
}

// The same for each lane, its high half left over: the products below take
// only the low halves.
U64 output(U64 old) {
  const U64 shuffled = ((old >> 18U) ^ old) >> 27U;
#if defined(__AVX512F__)
  return as<U64>(_mm512_maskz_rorv_epi32(0xffff, as<__m512i>(shuffled), as<__m512i>(old >> 59U)));
#elif defined(__wasm_simd128__)
  // WebAssembly shifts every lane by the same count: the shift left by
  // 32 - r is a product by 2 * 2^(31 - r), a float made from its exponent,
  // and the rotation the halves of the product together.
  const U64 exponent = (127U + 31U - (old >> 59U)) << 23U;
  const U64 power = as<U64>(eachPiece(as<Part>(exponent), as<Part>(exponent), [](v128_t x, v128_t) {
    return wasm_u32x4_trunc_sat_f32x4(x);
  }));
  const U64 shifted = lowTimes(shuffled, power) << 1U;
  return shifted | (shifted >> 32U);
#else
  return ((shuffled << 32U) | (shuffled & kLowHalf)) >> (old >> 59U);
#endif
}

// The number below `range` taken from the high half of fraction * range,
// the fraction left in its low half (and, in a vector, something in its
// high half).
std::uint64_t take(std::uint64_t& fraction, std::uint64_t range) {
  const std::uint64_t product = fraction * range;
  fraction = product & kLowHalf;
  return product >> 32U;
}

U64 take(U64& fraction, std::uint64_t range) {
  const U64 product = lowTimes(fraction, U64{} + range);
  fraction = product;
  return product >> 32U;
}

// Small numbers: signed, which every instruction set compares.
struct Draws {
  I64 heat;
  I64 liters;
  I64 selector;
};

struct Drawn {
  Draws draws;
  U64 random;  // each lane's state after them
};

// The heat of index `index`: from heatMin up, or in the table the first
// value whose running sum of weights is above it (TurnRanges::heatOf).
std::int64_t heatOf(const lanes::TurnRules& rules, std::uint32_t index) {
  if (rules.heatValueCount == 0) {
    return std::int64_t{rules.heatMin} + std::int64_t{index};
  }
  std::size_t first = 0;
  for (std::size_t count = rules.heatValueCount; count > 0;) {
    const std::size_t half = count / 2;
    if (rules.heatWeightsThrough[first + half] <= index) {
      first += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  return rules.heatValues[first];
}

// The turns of the lanes in `drawing` drawn as RunRandom::drawTurn draws
// them, one lane after another from its state `from`: every lane's turn
// when the vectors do not draw them, or those whose output came out biased,
// from the state before it (from which it comes out biased again).
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the generators' states and increments
[[gnu::noinline]] Drawn drawEach(const lanes::TurnRules& rules, Drawn drawn, U64 from,
                                 U64 increment, I64 drawing) {
  for (std::size_t lane = 0; lane < kWidth; ++lane) {
    if (drawing[lane] == 0) {
      continue;
    }
    std::uint64_t state = from[lane];
    std::uint32_t index[3]{};
    for (std::size_t drawnOutput = 0; drawnOutput < rules.outputCount; ++drawnOutput) {
      const lanes::Output& taken = rules.outputs[drawnOutput];
      for (;;) {
        const std::uint64_t old = state;
        state = old * kMultiplier + increment[lane];
        std::uint64_t fraction = output(old);
        for (std::uint32_t number = taken.first; number < taken.end; ++number) {
          index[number] = static_cast<std::uint32_t>(take(fraction, rules.sizes[number]));
        }
        if (fraction >= taken.biasedBelow) {
          break;
        }
      }
    }
    drawn.draws.heat[lane] = heatOf(rules, index[0]);
    drawn.draws.liters[lane] = std::int64_t{rules.litersMin} + std::int64_t{index[1]};
    drawn.draws.selector[lane] = std::int64_t{index[2]};
    drawn.random[lane] = state;
  }
  return drawn;
}

// What each lane's run carries from turn to turn.
struct Runs {
  U64 random;
  U64 increment;
  F64 heat;
  F64 damage;  // floats
  F64 factor;  // floats
  I64 coolant;
  // Flags, a bit for each lane: the processor's integer units keep them.
  unsigned critical;
  unsigned everOverheated;
  unsigned everCritical;
};

// A turn's draws: in the vectors (see drawnInVectors), biased ones drawn
// again, or else lane by lane. Inlined, so that the runs stay in registers.
[[gnu::always_inline]] inline Draws draw(const Job& job, const Numbers& numbers, Runs& runs) {
  const U64 old = runs.random;
  Drawn drawn{};
  if (numbers.inVectors) {
    drawn.random = times(old, kMultiplier) + runs.increment;
    U64 fraction = output(old);
    drawn.draws.heat = as<I64>(take(fraction, numbers.sizes[0])) + numbers.heatMin;
    drawn.draws.liters = as<I64>(take(fraction, numbers.sizes[1])) + numbers.litersMin;
    drawn.draws.selector = as<I64>(take(fraction, numbers.sizes[2]));
    const I64 biased = lessUnsigned(fraction & kLowHalf, U64{} + numbers.biasedBelow);
    if (any(biased)) [[unlikely]] {
      drawn = drawEach(job.rules, drawn, old, runs.increment, biased);
    }
  } else {
    drawn = drawEach(job.rules, drawn, old, runs.increment, I64{} - 1);
  }
  runs.random = drawn.random;
  return drawn.draws;
}

// The bins of heats in a histogram with LinearBinsPerUnit bins per heat
// unit below 64 and 2^BinBitsPerDoubling bins per doubling above
// (heat_histogram.cpp).
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
U64 binsOf(F64 heat) {
  constexpr double kLinearEnd = 64.0;
  constexpr int kDroppedBits = 52 - BinBitsPerDoubling;
  constexpr std::uint64_t kLinear = std::uint64_t{64} * LinearBinsPerUnit;
  constexpr std::uint64_t kLogarithmicStart =
      __builtin_bit_cast(std::uint64_t, kLinearEnd) >> kDroppedBits;
  const F64 linearHeat = heat < kLinearEnd ? heat : kLinearEnd;
  const U64 linear = 1 + wholePart(linearHeat * static_cast<double>(LinearBinsPerUnit));
  const U64 logarithmic = 1 + kLinear + ((as<U64>(heat) >> kDroppedBits) - kLogarithmicStart);
  const U64 above = heat < kLinearEnd ? linear : logarithmic;
  return heat <= 0.0 ? U64{} : above;
}

// The heats of the first `lanes` lanes (`counted`) added to a histogram.
template <int LinearBinsPerUnit, int BinBitsPerDoubling>
void addHeats(Histogram& histogram, F64 heat, I64 counted, std::size_t lanes) {
  const U64 bins = binsOf<LinearBinsPerUnit, BinBitsPerDoubling>(heat);
  const F64 low = load<F64>(histogram.min);
  const F64 high = load<F64>(histogram.max);
  store(histogram.min, (counted & as<I64>(heat < low)) != 0 ? heat : low);
  store(histogram.max, (counted & as<I64>(high < heat)) != 0 ? heat : high);
  if (any(counted & ~lessUnsigned(bins, U64{} + histogram.size))) [[unlikely]] {
    std::uint64_t top = 0;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
      top = bins[lane] > top ? bins[lane] : top;
    }
    histogram.grow(histogram, top);
  }
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    ++histogram.bins[bins[lane]];
  }
}

struct Tables {
  std::uint64_t mixedSeed;
  Table factors;  // of each selector's destination
  Table damage;   // each selector's heatsink damage
  Numbers numbers;
};

// Counts the lanes where a mask holds, the processor's integer units adding
// while its vector units play on.
void count(std::uint64_t& counted, unsigned holds) {
  counted += static_cast<unsigned>(__builtin_popcount(holds));
}

// Each lane's mask as a bit; the lanes above a level; the lanes that are 0.
unsigned bits(I64 mask) { return signBits(as<Part>(mask)); }
#if defined(__AVX512F__)
// Straight from the comparison, which the compiler would first widen to a
// vector of masks.
unsigned above(F64 value, double level) {
  return _mm512_cmp_pd_mask(as<__m512d>(value), as<__m512d>(F64{} + level), _CMP_GT_OQ);
}
unsigned zero(I64 value) { return _mm512_testn_epi64_mask(as<Part>(value), as<Part>(value)); }
#else
unsigned above(F64 value, double level) { return bits(value > level); }
unsigned zero(I64 value) { return bits(value == 0); }
#endif

// What a turn left each lane in.
struct Played {
  F64 heat;
  unsigned overheated;
  unsigned critical;
  unsigned coolantEmpty;
  unsigned everOverheated;
  unsigned everCritical;
};

// One turn of every lane with its draws.
[[gnu::always_inline]] inline Played playTurn(const Job& job, const Tables& tables,
                                              const Numbers& numbers, Runs& runs,
                                              const Draws& draws) {
  const I64 liters = draws.liters;
  runs.factor = less(I64{} + numbers.moveAtMost, liters) == 0
                    ? lookUp(tables.factors, draws.selector)
                    : runs.factor;
  const I64 wanted = less(liters, runs.coolant) != 0 ? liters : runs.coolant;
  const I64 used = less(I64{} + numbers.coolantAtMost, draws.selector) == 0 ? wanted : I64{};
  runs.coolant -= used;
  // -0 when nothing is drawn, where the model keeps +0: the same rate, the
  // turn's heat being 0 or more.
  const F64 coolantCooling = -numbers.perLiter * toDouble(as<U64>(used));
  // A float sum: rounding the double sum of two floats to a float rounds it once.
  const F64 damaged = narrowed(runs.damage + lookUp(tables.damage, draws.selector));
  runs.damage = less(I64{} + numbers.damageAbove, draws.heat) != 0 ? damaged : runs.damage;
  const F64 heatsinkCooling = ((1.0 - runs.damage) * job.heatsinkCount) * job.heatsinkMultiplier;
  const F64 cooling = runs.factor * (coolantCooling - heatsinkCooling);
  const F64 rate = toDouble(as<U64>(draws.heat)) + cooling;
  const F64 total = runs.heat + narrowed(rate);
  runs.heat = notBelowZero(total);
  const unsigned overheated = above(runs.heat, numbers.overheatAbove);
  const unsigned hot = above(runs.heat, numbers.criticalAbove);
  // Where overheated, whether above the critical level; elsewhere as it was.
  runs.critical = (overheated & hot) | (~overheated & runs.critical);
  runs.everOverheated |= overheated;
  runs.everCritical |= runs.critical;
  return {runs.heat,          overheated,          runs.critical,
          zero(runs.coolant), runs.everOverheated, runs.everCritical};
}

// A turn's tally of the first `lanes` lanes (`counted`).
[[gnu::always_inline]] inline void tally(TurnLanes& turn, const Played& played, I64 counted,
                                         std::size_t lanes) {
  const unsigned countedBits = bits(counted);
  count(turn.overheated, played.overheated & countedBits);
  count(turn.critical, played.critical & countedBits);
  count(turn.coolantEmpty, played.coolantEmpty & countedBits);
  count(turn.everOverheated, played.everOverheated & countedBits);
  count(turn.everCritical, played.everCritical & countedBits);
  // The sums in run order.
  const F64 squares = played.heat * played.heat;
  double heatSum = turn.heatSum;
  double heatSquares = turn.heatSquares;
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    heatSum += played.heat[lane];
    heatSquares += squares[lane];
  }
  turn.heatSum = heatSum;
  turn.heatSquares = heatSquares;
  if (turn.chart != nullptr) {
    addHeats<1, 5>(*turn.chart, played.heat, counted, lanes);
  }
}

// The runs' vectors go through a long chain of steps each turn, and the
// processor holds the steps of only a turn or two at once: turns are played
// several at a time, then tallied, so that it plays the next ones while a
// tally waits (2 at a time took a third longer; 5 to 10 about the same).
constexpr std::size_t kTurnsAtOnce = 8;

// Runs group .. group + kWidth - 1, the first `lanes` of them tallied.
template <bool kFull>
void playGroup(Job& job, const Tables& tables, std::uint64_t group) {
  const Numbers numbers = tables.numbers;
  const std::size_t lanes = kFull ? kWidth : static_cast<std::size_t>(job.end - group);
  U64 laneIndex{};
  for (std::size_t lane = 0; lane < kWidth; ++lane) {
    laneIndex[lane] = lane;
  }
  const I64 counted = kFull ? I64{} - 1 : as<I64>(laneIndex < lanes);
  const U64 run = group + laneIndex;
  Runs runs{};
  runs.increment = (run << 1U) | 1U;
  const U64 state = runs.increment + splitMix64(tables.mixedSeed + run);
  runs.random = times(state, kMultiplier) + runs.increment;
  runs.heat = F64{} + job.totalHeat;
  runs.damage = F64{} + static_cast<double>(job.heatsinkDamage);
  runs.factor = F64{} + static_cast<double>(job.baseCoolingFactor);
  runs.coolant = I64{} + job.coolantLiters;
  runs.critical = job.criticalTemperature ? ~0U : 0U;  // every lane or none
  // Each turn's draws are drawn a turn ahead, while the processor plays the
  // turn before: they depend on nothing else, and take long.
  Draws next = draw(job, numbers, runs);
  for (std::size_t first = 0; first < job.turnCount; first += kTurnsAtOnce) {
    const std::size_t turns =
        job.turnCount - first < kTurnsAtOnce ? job.turnCount - first : kTurnsAtOnce;
    Played played[kTurnsAtOnce];
    for (std::size_t turn = 0; turn < turns; ++turn) {
      const Draws draws = next;
      next = draw(job, numbers, runs);
      played[turn] = playTurn(job, tables, numbers, runs, draws);
    }
    for (std::size_t turn = 0; turn < turns; ++turn) {
      tally(job.turns[first + turn], played[turn], counted, lanes);
    }
  }
  addHeats<16, 10>(*job.finalHeat, runs.heat, counted, lanes);
  for (std::size_t lane = 0; lane < lanes; ++lane) {
    if (runs.heat[lane] > job.hottestHeat) {
      job.hottestHeat = runs.heat[lane];
      job.hottestRun = group + lane;
    }
    job.damagedOut += runs.damage[lane] > 1.0 ? 1U : 0U;
  }
  if (job.outcomeFlags != nullptr) {
    // The bits of Outcome: ever overheated, ever critical, overheated.
    const unsigned overheated = above(runs.heat, numbers.overheatAbove);
    const std::uint64_t slot = group - job.first;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
      job.outcomeFlags[slot + lane] = static_cast<std::uint8_t>(
          (runs.everOverheated >> lane & 1U) | (runs.everCritical >> lane & 1U) << 1U |
          (overheated >> lane & 1U) << 2U);
      job.outcomeHeat[slot + lane] = runs.heat[lane];
    }
  }
}

}  // namespace

void playLanes(Job& job) {
  Tables tables{};
  tables.mixedSeed = splitMix64(std::uint64_t{job.seed});
  for (std::size_t entry = 0; entry < lanes::kSelectorCount; ++entry) {
    tables.factors.wide[entry] = static_cast<double>(job.factors[entry]);
    tables.factors.narrow[entry] = job.factors[entry];
    tables.damage.wide[entry] = static_cast<double>(job.damage[entry]);
    tables.damage.narrow[entry] = job.damage[entry];
  }
  const lanes::TurnRules& rules = job.rules;
  tables.numbers = Numbers{{rules.sizes[0], rules.sizes[1], rules.sizes[2]},
                           rules.outputs[0].biasedBelow,
                           rules.heatMin,
                           rules.litersMin,
                           rules.damageAbove,
                           rules.moveAtMost,
                           rules.coolantAtMost,
                           rules.perLiter,
                           rules.overheatAbove,
                           rules.criticalAbove,
                           drawnInVectors(rules)};
  std::uint64_t group = job.first;
  for (; job.end - group >= kWidth; group += kWidth) {
    playGroup<true>(job, tables, group);
  }
  if (group < job.end) {
    playGroup<false>(job, tables, group);
  }
}

}  // namespace simulation::MECH_HEAT_TARGET
// NOLINTEND(cppcoreguidelines-pro-bounds-constant-array-index,cppcoreguidelines-pro-bounds-pointer-arithmetic)
