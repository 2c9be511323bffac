#include "legend.hpp"

namespace reports::charts {
namespace {

void swatch(svg::Writer& w, double x, double y, const LegendItem& item) {
  if (item.swatch == Swatch::kLine) {
    line(w, {x, y, x + 22, y}, item.colour, 2.5, item.dash);
  } else if (item.swatch == Swatch::kRing) {
    w.empty("circle", {{"cx", x + 11},
                       {"cy", y},
                       {"r", 7},
                       {"fill", "none"},
                       {"stroke", item.colour},
                       {"stroke-width", 2}});
  } else if (item.swatch == Swatch::kWhisker) {
    std::string d = "M";
    svg::addPoint(d, x + 7, y - 7);
    d += " h8 m-4,0 v14 m-4,0 h8";
    w.empty("path", {{"d", d}, {"fill", "none"}, {"stroke", item.colour}, {"stroke-width", 1.5}});
  } else if (item.swatch != Swatch::kMarker) {
    const double height = item.swatch == Swatch::kBand ? 10.0 : 12.0;
    rect(w, {x, y - height / 2.0, x + 22, y + height / 2.0}, item.colour, item.opacity);
  }
  if (item.marker >= 0) {
    marker(w, x + 11, y, 4, item.colour, item.marker);
  }
}

}  // namespace

double itemWidth(const LegendItem& item) { return 30.0 + textWidth(item.text, 12.0) + 20.0; }

double legend(svg::Writer& w, const LegendPlace& place, const std::vector<LegendItem>& items) {
  w.open("g", {{"class", "legend"}});
  double x = place.left;
  double y = place.y;
  const double columnWidth =
      place.columns > 0 ? (place.right - place.left) / static_cast<double>(place.columns) : 0.0;
  for (const LegendItem& item : items) {
    const double width = place.columns > 0 ? columnWidth : itemWidth(item);
    if (x > place.left && x + width > place.right + 20.0) {
      x = place.left;
      y += 20.0;
    }
    swatch(w, x, y, item);
    label(w, x + 30, y + 4, item.text, {});
    x += width;
  }
  w.close();
  return y - place.y + 20.0;
}

int legendRows(std::size_t count, int columns) {
  return static_cast<int>((count + static_cast<std::size_t>(columns) - 1) /
                          static_cast<std::size_t>(columns));
}

}  // namespace reports::charts
