#pragma once

#include <iosfwd>
#include <string>

#include "simulation/batch.hpp"

namespace reports {

// The summary of a batch as one JSON object, with a record for every turn
// and numbers that read back exactly.
void printJson(std::ostream& out, const simulation::BatchResult& result);

// The shortest decimal text that reads back as the same double.
[[nodiscard]] std::string exactNumber(double value);

}  // namespace reports
