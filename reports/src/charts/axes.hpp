// Axes: their ticks and tick labels, the room those take, the axes drawn, and the levels drawn
// across a plot. Internal to the charts; the tests include it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "draw.hpp"
#include "reports/charts.hpp"

namespace reports::charts {

// Ticks on whole numbers only, for turns and counts.
Ticks integerTicks(double low, double high, int maxTicks);

// The ticks' labels: from ten thousand on in thousands ("250 k"), from a million on in
// millions ("4 M"), and so on for G and T, as long as the step between ticks is a whole number
// of tenths of the unit.
std::vector<std::string> tickLabels(const Ticks& ticks);

// The width of the widest label.
double widest(const std::vector<std::string>& labels);

// Where a plot starts so that its widest tick label and the axis title beside it fit left of
// it; never nearer the page's edge than the charts' usual margin.
double plotLeft(double widestLabel);

enum class Side { kLeft, kRight };

// Grid lines (ticks on the right axis) with labels, and the axis title turned along the axis,
// clear of labels as wide as widestLabel.
struct YAxis {
  Scale scale;
  Ticks ticks;
  std::string_view title;
  Side side = Side::kLeft;
  double widestLabel = 0.0;
};
void yAxis(svg::Writer& w, const Box& plot, const YAxis& axis);

// Grid lines and labels below the plot; ticks that fall outside it are left out.
void xAxis(svg::Writer& w, const Box& plot, const Scale& s, const Ticks& t, std::string_view title);

// One slot for each name along the bottom, named below its middle, with lines between the
// slots. Slot i's middle is at scale(i).
Scale categoryScale(const Box& plot, std::size_t count);
void categoryAxis(svg::Writer& w, const Box& plot, const std::vector<std::string>& names,
                  std::string_view title);

// A level of a plot's axis: a named value, drawn as a dashed line in its colour.
struct Level {
  std::string_view name;
  double value;
  std::string_view colour;
  std::string_view unit{};  // After the value in its label.
};

// Levels across the plot at their heights, each named in the right margin (its name above its
// value) beside its line as far as the other names allow, between the plot's top and the x
// axis's labels; a name that had to move is tied to its line. Levels beyond the axis are left
// out.
void levelsAcross(svg::Writer& w, const Box& plot, const Scale& sy,
                  const std::vector<Level>& levels);

// Levels as upright lines at their values, each labelled at the plot's top beside its line (to
// its right, or to its left at the plot's right end), a row lower when the row above has no
// room. Levels beyond the axis are left out.
void levelsUpright(svg::Writer& w, const Box& plot, const Scale& sx,
                   const std::vector<Level>& levels);

}  // namespace reports::charts
