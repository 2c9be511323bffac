#include "table.hpp"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <utility>

namespace reports {

std::size_t displayWidth(std::string_view text) {
  // Continuation bytes of a UTF-8 sequence are 10xxxxxx.
  constexpr unsigned kContinuationMask = 0xC0U;
  constexpr unsigned kContinuation = 0x80U;
  return static_cast<std::size_t>(std::ranges::count_if(text, [](char byte) {
    return (static_cast<unsigned char>(byte) & kContinuationMask) != kContinuation;
  }));
}

namespace {

std::string fixed(double value, int decimals) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(decimals) << value;
  return text.str();
}

// A cell of a difference's size, after the difference's sign.
std::string withSign(double difference, std::string cell) {
  if (difference != 0.0) {
    cell.insert(cell.begin(), difference > 0.0 ? '+' : '-');
  }
  return cell;
}

}  // namespace

std::string oneDecimal(double value) { return fixed(value, 1); }

std::string percentNumber(double percent) {
  // Each decimal shows values from half its unit on.
  constexpr int kMostDecimals = 12;
  int decimals = 1;
  double half = 0.05;  // of the last decimal's unit
  while (decimals < kMostDecimals && percent > 0.0 && percent < half) {
    ++decimals;
    half /= 10.0;
  }
  return fixed(percent, decimals);
}

std::string givenPercent(double percent) {
  constexpr int kMostDecimals = 12;
  int decimals = 1;
  double scale = 10.0;  // of the last decimal
  while (decimals < kMostDecimals &&
         std::abs(std::round(percent * scale) / scale - percent) > 1e-9 * percent) {
    ++decimals;
    scale *= 10.0;
  }
  return fixed(percent, decimals);
}

std::string percentCell(double share, double halfWidth) {
  return percentNumber(100.0 * share) + " % ±" + percentNumber(100.0 * halfWidth);
}

std::string meanCell(double mean, double halfWidth) {
  return oneDecimal(mean) + " ±" + oneDecimal(halfWidth);
}

std::string percentDifferenceCell(double difference, double halfWidth) {
  return withSign(difference, percentCell(std::abs(difference), halfWidth));
}

std::string meanDifferenceCell(double difference, double halfWidth) {
  return withSign(difference, meanCell(std::abs(difference), halfWidth));
}

Table::Table(std::vector<Column> columns) : columns_{std::move(columns)} {}

void Table::addRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

std::string Table::text(const std::vector<std::string>& after) const {
  std::size_t headerLines = 0;
  std::vector<std::size_t> widths;
  for (std::size_t column = 0; column < columns_.size(); ++column) {
    std::size_t width = 0;
    for (const std::string& line : columns_[column].header) {
      width = std::max(width, displayWidth(line));
    }
    for (const auto& row : rows_) {
      width = std::max(width, displayWidth(row[column]));
    }
    widths.push_back(width);
    headerLines = std::max(headerLines, columns_[column].header.size());
  }
  std::string text;
  const auto writeLine = [&](const auto& cellOf) {
    std::string line;
    for (std::size_t column = 0; column < columns_.size(); ++column) {
      const std::string cell = cellOf(column);
      const std::string padding(widths[column] - displayWidth(cell), ' ');
      line += std::string(columns_[column].gap, ' ');
      line += columns_[column].align == Align::Left ? cell + padding : padding + cell;
    }
    return line;
  };
  for (std::size_t headerLine = 0; headerLine < headerLines; ++headerLine) {
    const auto headerCell = [&](std::size_t column) {
      const auto& header = columns_[column].header;
      const std::size_t missing = headerLines - header.size();  // blank lines on top
      return headerLine < missing ? std::string{} : header[headerLine - missing];
    };
    std::string line = writeLine(headerCell);
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    std::string line = writeLine([&](std::size_t column) { return rows_[row][column]; });
    if (row < after.size()) {
      line += after[row];
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace reports
