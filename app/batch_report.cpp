#include "batch_report.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <iomanip>
#include <ostream>
#include <string>
#include <string_view>

#include "command_line.hpp"

namespace batch {
namespace {

constexpr int kMaxRows = 20;
constexpr int kBarWidth = 20;

double share(std::uint64_t count, const Result& result) {
  return static_cast<double>(count) / static_cast<double>(result.settings.runs);
}

double meanHeat(const TurnTally& tally, const Result& result) {
  return tally.heatSum / static_cast<double>(result.settings.runs);
}

// The shortest text that reads back as the same double.
std::string exact(double value) {
  std::array<char, 32> text{};
  auto* const end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
  return {text.data(), end};
}

std::string quoted(std::string_view text) { return '"' + std::string{text} + '"'; }

// A JSON object's key, with the colon and space that follow it.
std::string key(std::string_view name) { return quoted(name) + ": "; }

std::string counted(std::uint64_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string{thing} + (count == 1 ? "" : "s");
}

std::string spaced(std::string_view name) {
  std::string text{name};
  std::ranges::replace(text, '-', ' ');
  return text;
}

std::string_view heatsinkTypeName(const heat::MechHeatSystem& mech) {
  return mech.heatsinkType == heat::HeatsinkType::Double ? "double" : "single";
}

struct FinalHeat {
  double mean, median, p90, p99, max;
};

FinalHeat finalHeatOf(const Result& result) {
  const HeatHistogram& heat = result.finalHeat;
  return FinalHeat{meanHeat(result.perTurn.back(), result), heat.percentile(0.5),
                   heat.percentile(0.9), heat.percentile(0.99), heat.max()};
}

void printPercent(std::ostream& out, double fraction, int width) {
  out << "  " << std::setw(width) << 100.0 * fraction << " %";
}

}  // namespace

void printSummary(std::ostream& out, const Result& result) {
  const Settings& settings = result.settings;
  const heat::MechHeatSystem& mech = settings.mech;
  const std::string heatsink = std::string{heatsinkTypeName(mech)} + " heatsink";
  out << counted(settings.runs, "run") << " of "
      << counted(static_cast<std::uint64_t>(settings.turns), "turn") << ", seed " << settings.seed
      << ": " << counted(static_cast<std::uint64_t>(mech.heatsinkCount), heatsink) << ", "
      << counted(static_cast<std::uint64_t>(mech.coolantLiters), "liter") << ", starting in "
      << spaced(command_line::environmentOptionName(mech.environment)) << "\n";

  // The columns of turns and of heat grow with their largest value.
  const int turnWidth = std::max(4, static_cast<int>(std::to_string(settings.turns).size()));
  const auto hottest = std::ranges::max(result.perTurn, {}, &TurnTally::heatSum);
  const int heatWidth = std::max(
      9, static_cast<int>(std::to_string(std::llround(meanHeat(hottest, result))).size()) + 2);
  out << std::setw(turnWidth) << "turn"
      << "  overheated  critical  tank empty  " << std::setw(heatWidth) << "mean heat"
      << "\n";
  out << std::fixed << std::setprecision(1);
  const int rows = std::min(settings.turns, kMaxRows);
  for (int row = 1; row <= rows; ++row) {
    // Evenly spaced turns, the last among them.
    const int turn =
        static_cast<int>((static_cast<std::int64_t>(row) * settings.turns + rows - 1) / rows);
    const TurnTally& tally = result.perTurn[static_cast<std::size_t>(turn - 1)];
    const double overheated = share(tally.overheated, result);
    out << std::setw(turnWidth) << turn;
    printPercent(out, overheated, 8);
    printPercent(out, share(tally.critical, result), 6);
    printPercent(out, share(tally.coolantEmpty, result), 8);
    out << "  " << std::setw(heatWidth) << meanHeat(tally, result);
    const auto bar = static_cast<std::size_t>(std::lround(overheated * kBarWidth));
    if (bar > 0) {
      out << "  " << std::string(bar, '#');
    }
    out << "\n";
  }
  const FinalHeat heat = finalHeatOf(result);
  out << "ever overheated " << 100.0 * share(result.everOverheated, result) << " %, ever critical "
      << 100.0 * share(result.everCritical, result) << " %\n";
  out << "final heat: mean " << heat.mean << "  median " << heat.median << "  90th " << heat.p90
      << "  99th " << heat.p99 << "  max " << heat.max << "\n";
}

void printJson(std::ostream& out, const Result& result) {
  const Settings& settings = result.settings;
  const heat::MechHeatSystem& mech = settings.mech;
  out << "{" << key("runs") << settings.runs << ", " << key("turns") << settings.turns << ", "
      << key("seed") << settings.seed << ",\n " << key("mech") << "{" << key("heatsinks")
      << mech.heatsinkCount << ", " << key("heatsinkType") << quoted(heatsinkTypeName(mech)) << ", "
      << key("coolant") << mech.coolantLiters << ", " << key("environment")
      << quoted(command_line::environmentOptionName(mech.environment)) << "},\n " << key("perTurn")
      << "[";
  for (std::size_t turn = 0; turn < result.perTurn.size(); ++turn) {
    const TurnTally& tally = result.perTurn[turn];
    out << (turn == 0 ? "\n  {" : ",\n  {") << key("turn") << turn + 1 << ", " << key("overheated")
        << exact(share(tally.overheated, result)) << ", " << key("critical")
        << exact(share(tally.critical, result)) << ", " << key("coolantEmpty")
        << exact(share(tally.coolantEmpty, result)) << ", " << key("meanHeat")
        << exact(meanHeat(tally, result)) << "}";
  }
  const FinalHeat heat = finalHeatOf(result);
  out << "],\n " << key("everOverheated") << exact(share(result.everOverheated, result)) << ", "
      << key("everCritical") << exact(share(result.everCritical, result)) << ",\n "
      << key("finalHeat") << "{" << key("mean") << exact(heat.mean) << ", " << key("median")
      << exact(heat.median) << ", " << key("p90") << exact(heat.p90) << ", " << key("p99")
      << exact(heat.p99) << ", " << key("max") << exact(heat.max) << "}}\n";
}

}  // namespace batch
