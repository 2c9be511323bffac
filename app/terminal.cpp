#include "terminal.hpp"

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstddef>

// A console answers GetConsoleMode; a file, a pipe or NUL does not (_isatty
// says yes for NUL too, which is why it is not used here).
bool isTerminal(StandardStream stream) {
  constexpr std::array<DWORD, 3> kHandles{STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  DWORD mode = 0;
  const DWORD handle = kHandles.at(static_cast<std::size_t>(stream));
  return GetConsoleMode(GetStdHandle(handle), &mode) != 0;
}

#else

#include <unistd.h>

bool isTerminal(StandardStream stream) {
  // The enumerators are in the order of the standard file descriptors.
  return isatty(static_cast<int>(stream)) != 0;
}

#endif
