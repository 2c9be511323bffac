#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "output.hpp"

namespace {

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream file{path, std::ios::binary};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// What can be read from `fd` now, which does not wait.
std::string readNow(int fd) {
  std::string text;
  std::array<char, 256> chunk{};
  for (ssize_t n = 0; (n = read(fd, chunk.data(), chunk.size())) > 0;) {
    text.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return text;
}

// Every name under `folder`, relative to it, sorted, between spaces.
std::string namesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator{folder}) {
    names.push_back(entry.path().lexically_relative(folder).string());
  }
  std::ranges::sort(names);
  std::string joined;
  for (const auto& name : names) {
    joined.append(joined.empty() ? "" : " ").append(name);
  }
  return joined;
}

TEST(WholeFile, TakesThePlaceOfTheOldOneOnlyWhenWrittenWhole) {
  const auto folder = std::filesystem::temp_directory_path() / "mech-heat-whole-file-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  const auto chart = folder / "chart.svg";
  {
    std::ofstream old{chart};
    old << "old chart";
  }
  // A write that fails half way leaves the old file, and nothing beside it.
  const auto failed = writeWholeFile(chart, [](std::ostream& out) {
    out << "half a ch";
    out.setstate(std::ios::badbit);
  });
  EXPECT_TRUE(failed.has_value());
  EXPECT_EQ(contentsOf(chart), "old chart");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator{folder}, {}), 1);
  // A whole one replaces it.
  EXPECT_EQ(writeWholeFile(chart, [](std::ostream& out) { out << "new chart\n"; }), std::nullopt);
  EXPECT_EQ(contentsOf(chart), "new chart\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator{folder}, {}), 1);
  // Nor does one that throws, or whose file cannot take the place it was
  // written for.
  EXPECT_THROW(static_cast<void>(writeWholeFile(
                   chart, [](std::ostream&) { throw std::runtime_error{"no chart"}; })),
               std::runtime_error);
  const auto taken = folder / "taken.svg";
  EXPECT_EQ(writeWholeFile(taken, [&](std::ostream&) { std::filesystem::create_directory(taken); }),
            std::optional<std::string>{"Is a directory"});
  EXPECT_EQ(namesIn(folder), "chart.svg taken.svg");
  // Where no file can be.
  EXPECT_EQ(writeWholeFile(folder / "missing" / "chart.svg", [](std::ostream& out) { out << "x"; }),
            std::optional<std::string>{"No such file or directory"});
  const auto onFolder = writeWholeFile(folder, [](std::ostream& out) { out << "x"; });
  EXPECT_EQ(onFolder, std::optional<std::string>{"Is a directory"});
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator{folder}, {}), 2);
  std::filesystem::remove_all(folder);
}

TEST(WholeFile, WritesEachKindOfTargetByItsOwnRule) {
  namespace fs = std::filesystem;
  const auto folder = fs::temp_directory_path() / "mech-heat-targets-test";
  const fs::path at = folder / "chart.svg";
  const mode_t mask = umask(022);
  // A file there before keeps its mode, and its owner where it can be given:
  // as root, another user's.
  const uid_t owner = geteuid() == 0 ? 4321 : geteuid();
  const auto oldFile = [&](const fs::path& path, mode_t mode) {
    std::ofstream{path} << "old chart";
    chmod(path.c_str(), mode);
    static_cast<void>(chown(path.c_str(), owner, owner));
    return path;
  };
  const auto linkAt = [&](const fs::path& target) {
    fs::create_symlink(target, at);
    return fs::path{at};
  };
  const auto linkToAnotherFolder = [&] {
    fs::create_directory(folder / "real");
    oldFile(folder / "real" / "chart.svg", 0640);
    return linkAt("real/chart.svg");
  };
  const auto linkToALinkToNothing = [&] {
    fs::create_symlink(folder / "new.svg", folder / "next.svg");
    return linkAt("next.svg");
  };
  int reader = -1;  // where a chart written straight into its target arrives
  const auto fifo = [&] {
    mkfifo(at.c_str(), 0600);
    reader = open(at.c_str(), O_RDONLY | O_NONBLOCK);  // NOLINT(*-vararg): POSIX's own form
    return fs::path{at};
  };
  // A file open as `reader` and removed: /proc/self/fd/N names it, and reads
  // as "... (deleted)", a name that a file beside it has if `decoy`.
  const auto removedFile = [&](bool decoy) {
    reader = open((folder / "gone").c_str(), O_RDWR | O_CREAT, 0600);  // NOLINT(*-vararg)
    fs::remove(folder / "gone");
    if (decoy) {
      oldFile(folder / "gone (deleted)", 0644);
    }
    return fs::path{"/proc/self/fd"} / std::to_string(reader);
  };
  // Nothing where a device node cannot be made, or not be opened.
  const auto fullDevice = [&] {
    const bool made = mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0 &&
                      close(open(at.c_str(), O_WRONLY)) == 0;  // NOLINT(*-vararg)
    return made ? at : fs::path{};
  };
  const auto directory = [&] {
    fs::create_directory(at);
    return fs::path{at};
  };
  struct Case {
    const char* label;
    std::function<fs::path()> make;  // makes the target; where to write
    std::string failure;             // empty: none
    const char* file;                // the file that holds the chart afterwards, if one does
    mode_t mode;                     // its mode
    std::string left;                // every name in the folder afterwards
  };
  const std::vector<Case> cases{
      {"a new file", [&] { return fs::path{at}; }, "", "chart.svg", 0644, "chart.svg"},
      {"a mode-600 file", [&] { return oldFile(at, 0600); }, "", "chart.svg", 0600, "chart.svg"},
      {"a link to a file in another folder", linkToAnotherFolder, "", "real/chart.svg", 0640,
       "chart.svg real real/chart.svg"},
      {"a link to a link to where nothing is yet", linkToALinkToNothing, "", "new.svg", 0644,
       "chart.svg new.svg next.svg"},
      {"a FIFO with a reader", fifo, "", nullptr, 0, "chart.svg"},
      {"a removed file", [&] { return removedFile(false); }, "", nullptr, 0, ""},
      {"a removed file, and one named as its link reads", [&] { return removedFile(true); }, "",
       nullptr, 0, "gone (deleted)"},
      {"a full device (char device 1,7)", fullDevice, "No space left on device", nullptr, 0,
       "chart.svg"},
      {"a directory", directory, "Is a directory", nullptr, 0, "chart.svg"},
      {"a missing folder", [&] { return folder / "missing" / "chart.svg"; },
       "No such file or directory", nullptr, 0, ""},
      {"a link to itself", [&] { return linkAt("chart.svg"); }, "Too many levels of symbolic links",
       nullptr, 0, "chart.svg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(folder);
    fs::create_directory(folder);
    reader = -1;
    const fs::path target = c.make();
    if (target.empty()) {
      std::cout << "not made here: " << c.label << "\n";
      continue;
    }
    const auto kind = fs::symlink_status(target).type();
    const auto failure = writeWholeFile(target, [](std::ostream& out) { out << "new chart\n"; });
    EXPECT_EQ(failure.value_or(""), c.failure);
    if (kind != fs::file_type::not_found) {
      EXPECT_EQ(fs::symlink_status(target).type(), kind) << "replaced";
    }
    if (reader >= 0) {
      EXPECT_EQ(readNow(reader), "new chart\n");
      close(reader);
    }
    if (c.file != nullptr) {
      const auto file = folder / c.file;
      EXPECT_EQ(contentsOf(file), "new chart\n");
      struct stat found {};
      EXPECT_EQ(stat(file.c_str(), &found), 0);
      EXPECT_EQ(found.st_mode & 07777, c.mode);
      EXPECT_EQ(found.st_uid, c.mode == 0644 ? geteuid() : owner);  // only new files have 644
    }
    EXPECT_EQ(namesIn(folder), c.left);
  }
  umask(mask);
  fs::remove_all(folder);
}

}  // namespace
