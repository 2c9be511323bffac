#pragma once

#include <optional>

// The program's three standard streams.
enum class StandardStream { Input, Output, Error };

// Whether a standard stream is a terminal (a console on Windows): not a file,
// a pipe or the null device.
[[nodiscard]] bool isTerminal(StandardStream stream);

// Whether a stream leads to a terminal on which the program is a job in the
// background: such a job neither owns the terminal's mode nor should write
// over what the foreground job shows. Never so on Windows.
[[nodiscard]] bool inBackground(StandardStream stream);

// How many columns the terminal a stream leads to has, when it tells.
[[nodiscard]] std::optional<int> terminalColumns(StandardStream stream);
