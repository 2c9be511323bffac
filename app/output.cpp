#include "output.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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

namespace {

// A name for a new file beside `path` that no other file has.
std::filesystem::path besides(const std::filesystem::path& path);

}  // namespace

std::optional<std::string> writeWholeFile(const std::filesystem::path& path,
                                          const std::function<void(std::ostream&)>& write) {
  const std::filesystem::path temporary = besides(path);
  if (temporary.empty()) {
    return std::strerror(errno);
  }
  {
    std::ofstream file{temporary, std::ios::binary | std::ios::trunc};
    write(file);  // nothing is written into a file that did not open
    file.flush();
    const int reason = errno;
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return std::strerror(reason);
    }
  }
  std::error_code failure;
  std::filesystem::rename(temporary, path, failure);
  if (failure) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return failure.message();
  }
  return std::nullopt;
}

#ifdef _WIN32

namespace {

std::filesystem::path besides(const std::filesystem::path& path) {
  std::filesystem::path temporary = path;
  temporary += "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  return temporary;
}

}  // namespace

void useBinaryOutput() {
  std::cout.flush();
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
}

void useUtf8Console() { static_cast<void>(SetConsoleOutputCP(CP_UTF8)); }

#else

namespace {

std::filesystem::path besides(const std::filesystem::path& path) {
  std::string name = path.string() + ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    return {};
  }
  // The file a user asked for gets the usual permissions, not mkstemp's own.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666) & ~mask);
  close(fd);
  return name;
}

}  // namespace

void useBinaryOutput() {}

void useUtf8Console() {}

#endif
