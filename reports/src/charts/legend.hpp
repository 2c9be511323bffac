// Legends: a swatch and a name for each thing a chart draws. Internal to the charts.
#pragma once

#include <string_view>
#include <vector>

#include "draw.hpp"

namespace reports::charts {

enum class Swatch { kLine, kBand, kBar, kRing, kWhisker, kMarker };

struct LegendItem {
  std::string_view text;
  std::string_view colour;
  Swatch swatch = Swatch::kLine;
  std::string_view dash = "none";
  double opacity = 1.0;
  int marker = -1;  // A marker shape on the line (or alone), or none.
};

// The room an item takes in a row.
double itemWidth(const LegendItem& item);

// Lays items out from (left, y) in rows that wrap at `right` (columns > 0: a grid of that many
// columns); returns the height used.
struct LegendPlace {
  double left = 0.0, y = 0.0, right = 0.0;
  int columns = 0;
};
double legend(svg::Writer& w, const LegendPlace& place, const std::vector<LegendItem>& items);

// The rows a grid of `columns` takes for `count` items.
int legendRows(std::size_t count, int columns);

}  // namespace reports::charts
