#pragma once

#include <iosfwd>
#include <string>

#include "reports/summary.hpp"
#include "simulation/batch.hpp"
#include "simulation/sweep.hpp"

namespace reports {

// The summary of a batch as one JSON object (schema version 3), with every
// rule it was played by under the rule's name, a record for every turn, the
// 95 % interval beside every share and mean, and numbers that read back
// exactly.
void printJson(std::ostream& out, const simulation::BatchResult& result);

// A sweep's results: one design as its batch's object, several as an object
// whose "designs" are their batches' objects, each the very text a plain
// batch of that design prints; with the margin and the enough designs.
void printJson(std::ostream& out, const simulation::SweepResult& result,
               const ReportOptions& options = {});

// The shortest decimal text that reads back as the same double.
[[nodiscard]] std::string exactNumber(double value);

}  // namespace reports
