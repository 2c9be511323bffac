#pragma once

#include <iosfwd>

#include "batch.hpp"

namespace batch {

// The summary of a batch for people: a table of turns with the overheated
// share drawn as a bar, then the shares of runs ever overheated or critical
// and the final heat's distribution.
void printSummary(std::ostream& out, const Result& result);

// The same summary as one JSON object, with a record for every turn and
// numbers that read back exactly.
void printJson(std::ostream& out, const Result& result);

}  // namespace batch
