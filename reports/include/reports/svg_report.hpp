#pragma once

#include <iosfwd>
#include <vector>

#include "reports/charts.hpp"
#include "reports/summary.hpp"
#include "simulation/batch.hpp"
#include "simulation/narrated_run.hpp"
#include "simulation/sweep.hpp"

// The charts of a batch, a sweep and a narrated run, worked out from their
// results and drawn as SVG onto a given stream.
namespace reports {

// One design: the heat over the turns, the shares over the turns and the
// final heat's distribution; several: ever overheated against the swept
// number, a series for each other combination, the enough designs marked.
void printSvg(std::ostream& out, const simulation::SweepResult& result,
              const ReportOptions& options = {});

// The heat after each turn of a narrated run and each turn's events.
void printRunSvg(std::ostream& out, const simulation::BatchSettings& settings,
                 const std::vector<simulation::TurnRecord>& record);

// What the charts show, before it is drawn.
[[nodiscard]] charts::BatchChart batchChart(const simulation::BatchResult& result);
[[nodiscard]] charts::SweepChart sweepChart(const simulation::SweepResult& result,
                                            const ReportOptions& options);
[[nodiscard]] charts::RunChart runChart(const simulation::BatchSettings& settings,
                                        const std::vector<simulation::TurnRecord>& record);

}  // namespace reports
