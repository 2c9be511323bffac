#include "output.hpp"

#include <cerrno>
#include <cstring>
#include <iostream>

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
