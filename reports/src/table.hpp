#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A table of text for a terminal: columns as wide as their widest cell, text
// on the left, numbers on the right.
namespace reports {

class Table {
 public:
  enum class Align { Left, Right };

  struct Column {
    std::vector<std::string> header;  // lines, the last one nearest the rows
    Align align;
    std::size_t gap;  // spaces before the column
  };

  explicit Table(std::vector<Column> columns);

  void addRow(std::vector<std::string> cells);

  // The header lines and then the rows, each line ending in a newline; what
  // follows a row's last cell, such as a bar, is written as it is.
  [[nodiscard]] std::string text(const std::vector<std::string>& after = {}) const;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// The columns a text takes on a terminal: a UTF-8 sequence takes one.
[[nodiscard]] std::size_t displayWidth(std::string_view text);

// A percentage with one decimal, or with as many more as its first
// significant digit takes ("12.5", "0.04", "0.001").
[[nodiscard]] std::string percentNumber(double percent);

// A percentage a user gave, with one decimal or as many more as it takes to
// show it as given ("0.5", "10.0", "0.045").
[[nodiscard]] std::string givenPercent(double percent);

// "63.0 % ±0.3": a share as a percentage, and the larger side of its interval,
// each as percentNumber writes it.
[[nodiscard]] std::string percentCell(double share, double halfWidth);

// "85.7 ±0.4".
[[nodiscard]] std::string meanCell(double mean, double halfWidth);

// A difference with its sign (+ above 0, none at 0), as percentCell writes a
// share ("-30.9 % ±0.2") and meanCell a mean ("+2.5 ±0.4").
[[nodiscard]] std::string percentDifferenceCell(double difference, double halfWidth);
[[nodiscard]] std::string meanDifferenceCell(double difference, double halfWidth);

// A number with one decimal.
[[nodiscard]] std::string oneDecimal(double value);

}  // namespace reports
