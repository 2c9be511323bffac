#include "simulation/tally_words.hpp"

#include <algorithm>
#include <bit>

namespace simulation {

namespace {

template <typename Histogram>
void appendHistogram(const Histogram& histogram, std::vector<std::uint64_t>& words) {
  words.insert(words.end(),
               {histogram.count(), std::bit_cast<std::uint64_t>(histogram.min()),
                std::bit_cast<std::uint64_t>(histogram.max()), histogram.bins().size()});
  words.insert(words.end(), histogram.bins().begin(), histogram.bins().end());
}

// Takes words from the front of a span, while there are enough.
class Reader {
 public:
  explicit Reader(std::span<const std::uint64_t>& words) : words_{words} {}

  // The next word, or 0 once the words are too few.
  std::uint64_t word() { return enough(1) ? take(1).front() : 0; }
  double number() { return std::bit_cast<double>(word()); }
  // The next `count` words, or none once too few are left.
  std::span<const std::uint64_t> words(std::uint64_t count) {
    return enough(count) ? take(static_cast<std::size_t>(count)) : std::span<const std::uint64_t>{};
  }
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  bool enough(std::uint64_t count) {
    failed_ = failed_ || count > words_.size();
    return !failed_;
  }
  std::span<const std::uint64_t> take(std::size_t count) {
    const std::span<const std::uint64_t> taken = words_.first(count);
    words_ = words_.subspan(count);
    return taken;
  }

  std::span<const std::uint64_t>& words_;
  bool failed_ = false;
};

template <typename Histogram>
void readHistogram(Reader& reader, Histogram& histogram) {
  const std::uint64_t count = reader.word();
  const double min = reader.number();
  const double max = reader.number();
  const std::span<const std::uint64_t> bins = reader.words(reader.word());
  if (count > 0 && !bins.empty()) {
    std::ranges::copy(bins, histogram.binsThrough(bins.size() - 1));
    histogram.setCounted(count, min, max);
  }
}

}  // namespace

void appendTallyWords(const BatchTally& tally, std::vector<std::uint64_t>& words) {
  const PairedTally& paired = tally.versus;
  words.insert(words.end(), {tally.runs, tally.damagedOut, tally.hottest.run,
                             std::bit_cast<std::uint64_t>(tally.hottest.finalHeat), paired.runs});
  words.insert(words.end(), paired.onlyThis.begin(), paired.onlyThis.end());
  words.insert(words.end(), paired.onlyBaseline.begin(), paired.onlyBaseline.end());
  words.insert(words.end(), {std::bit_cast<std::uint64_t>(paired.differenceSum),
                             std::bit_cast<std::uint64_t>(paired.differenceSquares),
                             tally.perTurn.size(), tally.turnHeat.size()});
  for (const TurnTally& turn : tally.perTurn) {
    words.insert(words.end(),
                 {turn.overheated, turn.critical, turn.coolantEmpty, turn.everOverheated,
                  turn.everCritical, std::bit_cast<std::uint64_t>(turn.heatSum),
                  std::bit_cast<std::uint64_t>(turn.heatSquares)});
  }
  for (const TurnHeatHistogram& histogram : tally.turnHeat) {
    appendHistogram(histogram, words);
  }
  appendHistogram(tally.finalHeat, words);
}

std::optional<BatchTally> readTallyWords(std::span<const std::uint64_t>& words) {
  constexpr std::uint64_t kTurnWords = 7;
  Reader reader{words};
  BatchTally tally;
  tally.runs = reader.word();
  tally.damagedOut = reader.word();
  tally.hottest = HottestRun{reader.word(), reader.number()};
  PairedTally& paired = tally.versus;
  paired.runs = reader.word();
  for (std::uint64_t& count : paired.onlyThis) {
    count = reader.word();
  }
  for (std::uint64_t& count : paired.onlyBaseline) {
    count = reader.word();
  }
  paired.differenceSum = reader.number();
  paired.differenceSquares = reader.number();
  const std::uint64_t turns = reader.word();
  const std::uint64_t charts = reader.word();
  // Every turn takes kTurnWords words and every histogram at least 4: the
  // sizes are checked before anything is made of them.
  if (reader.failed() || turns > words.size() / kTurnWords || charts > words.size() / 4) {
    return std::nullopt;
  }
  tally.perTurn.resize(static_cast<std::size_t>(turns));
  for (TurnTally& turn : tally.perTurn) {
    turn = TurnTally{reader.word(), reader.word(),   reader.word(),  reader.word(),
                     reader.word(), reader.number(), reader.number()};
  }
  tally.turnHeat.resize(static_cast<std::size_t>(charts));
  for (TurnHeatHistogram& histogram : tally.turnHeat) {
    readHistogram(reader, histogram);
  }
  readHistogram(reader, tally.finalHeat);
  if (reader.failed()) {
    return std::nullopt;
  }
  return tally;
}

}  // namespace simulation
