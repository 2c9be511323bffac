#pragma once

#include <iosfwd>

#include "reports/summary.hpp"
#include "simulation/batch.hpp"
#include "simulation/sweep.hpp"

namespace reports {

// The summary of a batch for people: a table of turns, each share with the
// larger side of its 95 % interval and the overheated share drawn as a bar,
// the shares of runs ever overheated or critical, the final heat's
// distribution and the hottest run with the command that narrates it.
void printText(std::ostream& out, const simulation::BatchResult& result);

// A sweep's results: one design as a batch's summary, several as a table of
// one row per design; then, with a margin, whether it was met, and with a
// largest share ever overheated, the cheapest design that keeps to it.
void printText(std::ostream& out, const simulation::SweepResult& result,
               const ReportOptions& options = {});

}  // namespace reports
