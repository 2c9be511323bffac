#include "output.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
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

namespace fs = std::filesystem;
using Write = std::function<void(std::ostream&)>;

#ifdef _WIN32
using FileStatus = struct _stat64;
int statusOf(const fs::path& path, FileStatus& status) { return _wstat64(path.c_str(), &status); }
#else
using FileStatus = struct stat;
int statusOf(const fs::path& path, FileStatus& status) { return stat(path.c_str(), &status); }
#endif

bool sameFile(const FileStatus& left, const FileStatus& right) {
  return left.st_dev == right.st_dev && left.st_ino == right.st_ino;
}

// Whether `file` is the one standard output writes to, which a new file in
// its place would take what the program printed from.
bool writtenByStandardOutput(const FileStatus& file);

// Writes a new file beside `path` and puts it in the place of `existing`, the
// file there, if there is one.
std::optional<std::string> replaceFile(const fs::path& path, const FileStatus* existing,
                                       const Write& write);

// Opens `path` with `mode` and fills it. The reason it failed, if it did.
std::optional<std::string> fill(const fs::path& path, std::ios::openmode mode, const Write& write) {
  std::ofstream file{path, std::ios::binary | mode};
  write(file);  // nothing is written into a file that did not open
  file.flush();
  const int reason = errno;
  if (!file) {
    return std::strerror(reason);
  }
  return std::nullopt;
}

// A temporary file, removed when this goes: none outlives a write that
// failed, or threw, and once renamed none is there any more.
class Scratch {
 public:
  explicit Scratch(fs::path path) : path_{std::move(path)} {}
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  Scratch(Scratch&&) = delete;
  Scratch& operator=(Scratch&&) = delete;
  ~Scratch() {
    std::error_code ignored;
    fs::remove(path_, ignored);  // nothing is there once it was renamed
  }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Fills `temporary` and renames it to `path`.
std::optional<std::string> putInPlace(const Scratch& temporary, const fs::path& path,
                                      const Write& write) {
  if (auto failure = fill(temporary.path(), std::ios::trunc, write)) {
    return failure;
  }
  std::error_code failure;
  fs::rename(temporary.path(), path, failure);
  if (failure) {
    return failure.message();
  }
  return std::nullopt;
}

bool isLink(const fs::path& path) {
  std::error_code ignored;
  return fs::is_symlink(fs::symlink_status(path, ignored));
}

// Where the link `link` points, as its text says.
fs::path linkTarget(const fs::path& link) { return link.parent_path() / fs::read_symlink(link); }

}  // namespace

std::optional<std::string> writeWholeFile(const fs::path& path, const Write& write) {
  fs::path at = path;
  for (;;) {  // once more for each link followed
    FileStatus found{};
    if (statusOf(at, found) != 0) {
      if (errno != ENOENT) {
        return std::strerror(errno);
      }
      // Nothing there yet, or a link to where nothing is yet.
      if (!isLink(at)) {
        return replaceFile(at, nullptr, write);
      }
      at = linkTarget(at);
      continue;
    }
    // Opening a directory would say so too, but on Windows only that it may
    // not be written.
    if (S_ISDIR(found.st_mode)) {
      return std::strerror(EISDIR);
    }
    // A device, a FIFO, a pipe or a terminal (/dev/stdout, /dev/fd/N) only
    // takes what is written into it, a block device from its start.
    if (!S_ISREG(found.st_mode)) {
      return fill(at, std::ios::trunc, write);
    }
    // The chart comes after what was printed, which is out already.
    if (writtenByStandardOutput(found)) {
      return fill(at, std::ios::app, write);
    }
    if (!isLink(at)) {
      return replaceFile(at, &found, write);
    }
    // A link the system follows by itself rather than by its text, as
    // /proc/self/fd/N does to a file since removed, names no file to replace.
    fs::path target = linkTarget(at);
    FileStatus there{};
    if (statusOf(target, there) != 0 || !sameFile(there, found)) {
      return fill(at, std::ios::app, write);
    }
    at = std::move(target);
  }
}

#ifdef _WIN32

namespace {

// Windows's stat numbers no files, and no /dev/stdout names standard output:
// the file standard output writes to is not told apart, and named for the
// chart as well, it is replaced (under wine), or the chart fails to take its
// place (where Windows keeps a file open as standard output in place).
bool writtenByStandardOutput(const FileStatus& /*file*/) { return false; }

// Where Windows differs: a read-only file is not replaced, as Windows itself
// would not, and the write fails (POSIX asks only whether the folder may be
// written, and the new file keeps the old one's mode); the C library's stat
// knows no devices (NUL, CON), so that they are taken for files not there
// yet, and the write fails when its file is to take their place.
std::optional<std::string> replaceFile(const fs::path& path, const FileStatus* existing,
                                       const Write& write) {
  if (existing != nullptr && (existing->st_mode & _S_IWRITE) == 0) {
    return std::strerror(EACCES);
  }
  fs::path temporary = path;
  temporary += "." + std::to_string(GetCurrentProcessId()) + ".tmp";
  return putInPlace(Scratch{temporary}, path, write);
}

}  // namespace

void useBinaryOutput() {
  std::cout.flush();
  static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
}

void useUtf8Console() { static_cast<void>(SetConsoleOutputCP(CP_UTF8)); }

#else

namespace {

bool writtenByStandardOutput(const FileStatus& file) {
  FileStatus output{};
  return fstat(STDOUT_FILENO, &output) == 0 && sameFile(output, file);
}

std::optional<std::string> replaceFile(const fs::path& path, const FileStatus* existing,
                                       const Write& write) {
  std::string name = path.string() + ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    return std::strerror(errno);
  }
  const Scratch temporary{name};
  if (existing != nullptr) {
    // The owner first, where it can be given: a new owner clears the set-user-ID bits.
    const int owned = fchown(fd, existing->st_uid, existing->st_gid);
    static_cast<void>(owned);
    fchmod(fd, existing->st_mode & static_cast<mode_t>(07777));
  } else {
    // A new file gets the usual permissions, not mkstemp's own.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, static_cast<mode_t>(0666) & ~mask);
  }
  close(fd);
  return putInPlace(temporary, path, write);
}

}  // namespace

void useBinaryOutput() {}

void useUtf8Console() {}

#endif
