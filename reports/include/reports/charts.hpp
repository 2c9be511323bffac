// Charts of a mech's heat as standalone SVG documents (800 px wide, or as wide as a narrower
// window, no scripts, no external references). Shares are fractions 0-1; they are drawn as
// percent.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace reports::charts {

struct Share {
  double value = 0.0;
  double low = 0.0;   // Lower end of the 95 % interval.
  double high = 0.0;  // Upper end of the 95 % interval.
};

// --- Batch chart: many runs summarised turn by turn, plus the final heat. ---
struct TurnPoint {
  int turn = 0;
  double p10 = 0.0, p25 = 0.0, p50 = 0.0, p75 = 0.0, p90 = 0.0;  // Heat percentiles.
  Share overheated;      // Runs above the overheat level at this turn.
  Share critical;        // Runs with the critical flag at this turn.
  Share everOverheated;  // Runs that overheated at least once by this turn.
};

struct HeatBin {
  double low = 0.0, high = 0.0;  // Heat range [low, high).
  double share = 0.0;            // Share of runs ending in this bin.
  double shareAtLeast = 0.0;     // Share of runs ending at heat >= low.
};

struct BatchChart {
  std::string title;
  std::string description;  // Appended to the generated summary in <desc>.
  double overheatLevel = 60.0;
  double criticalLevel = 100.0;
  std::vector<TurnPoint> turns;
  std::vector<HeatBin> finalHeat;
};

// --- Sweep chart: "ever overheated" against what the sweep varies. ---
// The x axis is numeric, or, given the names of its categories, one slot for each of them.
struct SweepPoint {
  double x = 0.0;  // The value on the axis; on a categorical one, the index of its category.
  Share everOverheated;
  bool picked = false;  // Marked with a ring and a label that names its series.
  Share difference{};   // With a baseline: ever overheated less the baseline's, in [-1, 1].
};

struct SweepSeries {
  std::string label;  // e.g. "single, temperate air".
  std::vector<SweepPoint> points;
};

struct SweepChart {
  std::string title;
  std::string description;
  std::string xLabel;                    // e.g. "Heatsinks", "Coolant (liters)", "Environment".
  std::vector<std::string> xCategories;  // Empty: the x axis is numeric; its points are joined.
  std::optional<double> maxOverheat;     // Accepted share, drawn as a dashed line.
  std::vector<SweepSeries> series;
  // The baseline the points' differences are from, e.g. "heatsink-type single"; when given,
  // a second panel draws the differences.
  std::string versus;
};

// --- Run chart: one narrated run, turn by turn. ---
struct RunTurn {
  int turn = 0;
  double heat = 0.0;                   // Heat level after the turn.
  std::optional<std::string> movedTo;  // Name of the environment entered this turn.
  int coolantDrawn = 0;                // Liters.
  int damagePercent = 0;               // Heatsink damage taken this turn.
};

struct RunChart {
  std::string title;
  std::string description;
  double overheatLevel = 60.0;
  double criticalLevel = 100.0;
  std::vector<RunTurn> turns;
};

void writeBatchChart(std::ostream& out, const BatchChart& chart);
void writeSweepChart(std::ostream& out, const SweepChart& chart);
void writeRunChart(std::ostream& out, const RunChart& chart);

// Axis ticks at round values (1, 2 or 5 times a power of ten) covering [low, high] with at
// most about maxTicks intervals. A zero-width range is widened around its value.
struct Ticks {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
  std::vector<double> values;
};
Ticks niceTicks(double low, double high, int maxTicks);

}  // namespace reports::charts
