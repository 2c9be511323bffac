#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>

// One line on a terminal that tells how far a batch has got, rewritten in
// place, shown only once the batch has taken longer than `delay`, and erased
// when the batch ends.
class ProgressLine {
 public:
  ProgressLine(std::ostream& terminal, std::uint64_t runs, std::chrono::milliseconds delay);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ProgressLine(ProgressLine&&) = delete;
  ProgressLine& operator=(ProgressLine&&) = delete;
  ~ProgressLine();

  void show(std::uint64_t runsDone);

 private:
  std::ostream& terminal_;
  std::uint64_t runs_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::milliseconds delay_;
  std::size_t shownWidth_ = 0;  // of the line on the terminal, 0 when none is
};
