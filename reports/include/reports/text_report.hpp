#pragma once

#include <iosfwd>

#include "simulation/batch.hpp"

namespace reports {

// The summary of a batch for people: a table of turns with the overheated
// share drawn as a bar, the shares of runs ever overheated or critical, the
// final heat's distribution and the hottest run with the command that
// narrates it.
void printText(std::ostream& out, const simulation::BatchResult& result);

}  // namespace reports
