#include "progress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

ProgressLine::ProgressLine(std::ostream& terminal, std::uint64_t runs,
                           std::chrono::milliseconds delay)
    : terminal_{terminal}, runs_{runs}, delay_{delay} {}

ProgressLine::~ProgressLine() {
  if (shownWidth_ > 0) {
    terminal_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
  }
}

void ProgressLine::show(std::uint64_t runsDone) {
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
  if (elapsed < delay_ || runsDone >= runs_) {
    return;
  }
  const auto done = static_cast<double>(runsDone);
  const double rate = done / elapsed.count();
  std::ostringstream line;
  line << std::fixed << std::setprecision(1) << 100.0 * done / static_cast<double>(runs_)
       << " % of " << runs_ << " runs, " << std::setprecision(0) << rate << " runs/s";
  if (runsDone > 0) {
    const auto left =
        static_cast<std::uint64_t>(std::ceil(static_cast<double>(runs_ - runsDone) / rate));
    line << ", about " << left / 3600 << ':' << std::setfill('0') << std::setw(2) << left / 60 % 60
         << ':' << std::setw(2) << left % 60 << " left";
  }
  const std::string text = line.str();
  // Spaces cover what is left of a longer line shown before.
  terminal_ << '\r' << text
            << std::string(shownWidth_ > text.size() ? shownWidth_ - text.size() : 0, ' ')
            << std::flush;
  shownWidth_ = std::max(shownWidth_, text.size());
}
