#include "progress.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <vector>

namespace {

constexpr std::chrono::seconds kRateWindow{5};

std::string percentText(std::uint64_t runsDone, std::uint64_t runs, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals)
       << 100.0 * static_cast<double>(runsDone) / static_cast<double>(runs) << " %";
  return text.str();
}

std::string durationText(std::uint64_t seconds) {
  std::ostringstream text;
  text << seconds / 3600 << ':' << std::setfill('0') << std::setw(2) << seconds / 60 % 60 << ':'
       << std::setw(2) << seconds % 60;
  return text.str();
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, std::uint64_t runs,
                           std::chrono::milliseconds delay, Clock::time_point start)
    : terminal_{terminal}, runs_{runs}, start_{start}, delay_{delay} {}

ProgressLine::~ProgressLine() { erase(); }

void ProgressLine::erase() {
  if (shownWidth_ > 0) {
    terminal_ << '\r' << std::string(shownWidth_, ' ') << '\r' << std::flush;
    shownWidth_ = 0;
  }
}

std::vector<std::string> ProgressLine::texts(std::uint64_t runsDone, Clock::time_point now) {
  while (!recent_.empty() && now - recent_.front().time > kRateWindow) {
    recent_.pop_front();
  }
  const std::string percent = percentText(runsDone, runs_, 1);
  const std::string of = percent + " of " + std::to_string(runs_) + " runs";
  std::vector<std::string> candidates;
  if (recent_.empty() || runsDone <= recent_.front().runsDone) {
    candidates.push_back(of);
  } else {
    const std::chrono::duration<double> span = now - recent_.front().time;
    const double perSecond =
        static_cast<double>(runsDone - recent_.front().runsDone) / span.count();
    const std::string left = durationText(static_cast<std::uint64_t>(
                                 std::ceil(static_cast<double>(runs_ - runsDone) / perSecond))) +
                             " left";
    std::ostringstream rate;
    rate << std::fixed << std::setprecision(0) << perSecond << " runs/s";
    candidates.push_back(of + ", " + rate.str() + ", about " + left);
    candidates.push_back(percent + ", " + left);
  }
  recent_.push_back(Sample{now, runsDone});
  candidates.push_back(percent);
  candidates.push_back(percentText(runsDone, runs_, 0));
  return candidates;
}

void ProgressLine::show(std::uint64_t runsDone, const TerminalState& terminal,
                        Clock::time_point now) {
  if (terminal.inBackground) {
    erase();
    return;
  }
  if (now - start_ < delay_ || runsDone >= runs_) {
    return;
  }
  // The last column is left free: writing into it makes some terminals wrap.
  constexpr int kUsualColumns = 80;
  const auto width =
      static_cast<std::size_t>(std::max(terminal.columns.value_or(kUsualColumns) - 1, 0));
  // The longest text that fits, or the shortest cut to fit.
  const std::vector<std::string> candidates = texts(runsDone, now);
  const auto fits = std::ranges::find_if(
      candidates, [width](const std::string& candidate) { return candidate.size() <= width; });
  const std::string line = fits == candidates.end() ? candidates.back().substr(0, width) : *fits;
  // Spaces cover what is left of a longer line shown before.
  const std::size_t covered = std::min(std::max(shownWidth_, line.size()), width);
  terminal_ << '\r' << line << std::string(covered - line.size(), ' ') << std::flush;
  shownWidth_ = covered;
}
