#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// One line on a terminal that tells how far a batch has got, rewritten in
// place, shown only once the batch has taken longer than `delay`, never
// wider than the terminal, and erased when the batch ends.
class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  ProgressLine(std::ostream& terminal, std::uint64_t runs, std::chrono::milliseconds delay,
               Clock::time_point start = Clock::now());
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ProgressLine(ProgressLine&&) = delete;
  ProgressLine& operator=(ProgressLine&&) = delete;
  ~ProgressLine();

  // What the terminal is like now.
  struct TerminalState {
    bool inBackground = false;   // then the line is not shown
    std::optional<int> columns;  // 80 when the terminal does not tell
  };

  // Shows `runsDone`. The rate, and the time left, are measured over the last
  // few seconds, so that a pause (a stopped job) soon stops counting.
  void show(std::uint64_t runsDone, const TerminalState& terminal,
            Clock::time_point now = Clock::now());

  // Changes how many runs there are in all.
  void setRuns(std::uint64_t runs) { runs_ = runs; }

  // Takes the line off the terminal, if it is shown.
  void erase();

 private:
  struct Sample {
    Clock::time_point time{};
    std::uint64_t runsDone = 0;
  };

  // The texts that tell how far the batch got, the longest first.
  [[nodiscard]] std::vector<std::string> texts(std::uint64_t runsDone, Clock::time_point now);

  std::ostream& terminal_;
  std::uint64_t runs_;
  Clock::time_point start_;
  std::chrono::milliseconds delay_;
  std::deque<Sample> recent_;   // within the last few seconds, oldest first
  std::size_t shownWidth_ = 0;  // of the line on the terminal, 0 when none is
};
