#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "output.hpp"

namespace {

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream file{path, std::ios::binary};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
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
  // Where no file can be.
  EXPECT_EQ(writeWholeFile(folder / "missing" / "chart.svg", [](std::ostream& out) { out << "x"; }),
            std::optional<std::string>{"No such file or directory"});
  const auto onFolder = writeWholeFile(folder, [](std::ostream& out) { out << "x"; });
  EXPECT_EQ(onFolder, std::optional<std::string>{"Is a directory"});
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator{folder}, {}), 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
