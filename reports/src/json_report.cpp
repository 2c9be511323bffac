#include "reports/json_report.hpp"

#include <array>
#include <charconv>
#include <cstddef>
#include <ostream>
#include <sstream>
#include <string_view>

#include "reports/summary.hpp"

namespace reports {
namespace {

std::string quoted(std::string_view text) { return '"' + std::string{text} + '"'; }

// A JSON object's key, with the colon and space that follow it.
std::string key(std::string_view name) { return quoted(name) + ": "; }

}  // namespace

std::string exactNumber(double value) {
  std::array<char, 32> text{};
  auto* const end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
  return {text.data(), end};
}

void printJson(std::ostream& out, const simulation::BatchResult& result) {
  const Summary summary = summarize(result);
  const simulation::BatchSettings& settings = summary.settings;
  const heat::MechHeatSystem& mech = settings.mech;
  std::ostringstream json;
  json << "{" << key("runs") << settings.runs << ", " << key("turns") << settings.turns << ", "
       << key("seed") << settings.seed << ",\n " << key("mech") << "{" << key("heatsinks")
       << mech.heatsinkCount << ", " << key("heatsinkType")
       << quoted(heatsinkTypeName(mech.heatsinkType)) << ", " << key("coolant")
       << mech.coolantLiters << ", " << key("environment")
       << quoted(heat::traitsOf(mech.environment).optionName) << "},\n " << key("perTurn") << "[";
  for (const TurnSummary& turn : summary.perTurn) {
    json << (turn.turn == 1 ? "\n  {" : ",\n  {") << key("turn") << turn.turn << ", "
         << key("overheated") << exactNumber(turn.overheated) << ", " << key("critical")
         << exactNumber(turn.critical) << ", " << key("coolantEmpty")
         << exactNumber(turn.coolantEmpty) << ", " << key("meanHeat") << exactNumber(turn.meanHeat)
         << "}";
  }
  const FinalHeat& heat = summary.finalHeat;
  json << "],\n " << key("everOverheated") << exactNumber(summary.everOverheated) << ", "
       << key("everCritical") << exactNumber(summary.everCritical) << ",\n " << key("finalHeat")
       << "{" << key("mean") << exactNumber(heat.mean) << ", " << key("median")
       << exactNumber(heat.median) << ", " << key("p90") << exactNumber(heat.p90) << ", "
       << key("p99") << exactNumber(heat.p99) << ", " << key("max") << exactNumber(heat.max)
       << "},\n " << key("hottestRun") << "{" << key("run") << summary.hottest.run << ", "
       << key("finalHeat") << exactNumber(summary.hottest.finalHeat) << "}}\n";
  out << json.str();
}

}  // namespace reports
