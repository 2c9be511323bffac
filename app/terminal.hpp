#pragma once

// The program's three standard streams.
enum class StandardStream { Input, Output, Error };

// Whether a standard stream is a terminal (a console on Windows): not a file,
// a pipe or the null device.
[[nodiscard]] bool isTerminal(StandardStream stream);
