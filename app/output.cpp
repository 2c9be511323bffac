#include "output.hpp"

#include <cerrno>
#include <cstring>
#include <iostream>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#endif

bool outputWritten() {
  std::cout.flush();
  // The stream stops writing at its first failure, so errno still holds the
  // reason the C library gave for it.
  const int reason = errno;
  if (std::cout) {
    return true;
  }
  std::cerr << "mech-heat: cannot write the output: " << std::strerror(reason) << std::endl;
  return false;
}

#ifdef _WIN32

void useBinaryOutput() {
  std::cout.flush();
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
}

void useUtf8Console() { static_cast<void>(SetConsoleOutputCP(CP_UTF8)); }

#else

void useBinaryOutput() {}

void useUtf8Console() {}

#endif
