#include "terminal.hpp"

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstddef>

namespace {

HANDLE handleOf(StandardStream stream) {
  constexpr std::array<DWORD, 3> kHandles{STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  return GetStdHandle(kHandles.at(static_cast<std::size_t>(stream)));
}

}  // namespace

// A console answers GetConsoleMode; a file, a pipe or NUL does not (_isatty
// says yes for NUL too, which is why it is not used here).
bool isTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(handleOf(stream), &mode) != 0;
}

bool inBackground(StandardStream /*stream*/) { return false; }

std::optional<int> terminalColumns(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(handleOf(stream), &info) == 0) {
    return std::nullopt;
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

#else

#include <sys/ioctl.h>
#include <unistd.h>

// The enumerators are in the order of the standard file descriptors.
bool isTerminal(StandardStream stream) { return isatty(static_cast<int>(stream)) != 0; }

// A stream that is no terminal has no foreground group (-1).
bool inBackground(StandardStream stream) {
  const pid_t foreground = tcgetpgrp(static_cast<int>(stream));
  return foreground != -1 && foreground != getpgrp();
}

std::optional<int> terminalColumns(StandardStream stream) {
  winsize size{};  // left at 0 columns where the stream is no terminal
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg): POSIX's own form
  static_cast<void>(ioctl(static_cast<int>(stream), TIOCGWINSZ, &size));
  if (size.ws_col == 0) {
    return std::nullopt;
  }
  return static_cast<int>(size.ws_col);
}

#endif
