#pragma once

#include <string>

namespace simulation {

// Refuses settings that describe nothing to play: throws std::invalid_argument
// with `message`, or, in a build without exceptions (the web page's, which
// checks its input first), writes `message` on standard error and aborts.
[[noreturn]] void refuse(const std::string& message);

}  // namespace simulation
