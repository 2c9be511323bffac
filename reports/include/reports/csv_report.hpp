#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "simulation/sweep.hpp"

namespace reports {

// A sweep's results for spreadsheets, as RFC 4180 has them (lines end in
// CRLF): a header line and one line per design, a plain batch being a sweep
// of one. Numbers as in JSON. After the mech's columns, one for each rule
// that differs from the game's in any design, named as the rule is, its
// values as --rule takes them.
void printCsv(std::ostream& out, const simulation::SweepResult& result);

// A CSV field: quoted, its quotes doubled, when it holds a comma, a quote or
// a line break.
[[nodiscard]] std::string csvField(std::string_view text);

}  // namespace reports
