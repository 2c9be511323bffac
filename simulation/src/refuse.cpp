#include "simulation/refuse.hpp"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace simulation {

void refuse(const std::string& message) {
#if defined(__cpp_exceptions)
  throw std::invalid_argument{message};
#else
  std::fputs((message + "\n").c_str(), stderr);
  std::abort();
#endif
}

}  // namespace simulation
