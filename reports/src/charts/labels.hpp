// Where the charts put the labels that have to find room: beside a point, a level's name in
// the margin, a level's value along the top of a plot. Internal to the charts; the tests drive
// these rules directly.
#pragma once

#include <cstddef>
#include <vector>

#include "draw.hpp"

namespace reports::charts {

// Whether two boxes share more than an edge.
bool overlap(const Box& a, const Box& b);

// A straight line between two points.
struct Segment {
  double x1, y1, x2, y2;
};

// Whether the segment passes through the inside of the box.
bool crosses(const Segment& s, const Box& b);

// What a label beside a point must keep clear of, besides the other labels: lines, and boxes
// around rings, markers and whiskers.
struct Obstacles {
  std::vector<Segment> lines;
  std::vector<Box> boxes;
};

// A label of the given size for the point (x, y), kept at least `clearance` from it.
struct LabelRequest {
  double x, y;
  double width, height;
  double clearance;
};

// The place of each label, in the order asked: the nearest place inside `area` that hits no
// obstacle and no label placed before it; when every place hits something, the one that hits
// least, labels counting most, then boxes, then lines.
std::vector<Box> placeLabels(const Box& area, const Obstacles& obstacles,
                             const std::vector<LabelRequest>& requests);

// Labels along one direction: each wants to start at `wanted` and is `length` long.
struct Span {
  double wanted, length;
};

// Starts for the spans, in the order given, that keep them `gap` apart in the order of their
// wanted starts: each where it wants, or after the one before it, and moved back as far as it
// takes to end by the room's high end; when they do not fit together, they start at its low end
// and run past its high one.
std::vector<double> spread(const std::vector<Span>& spans, const Interval& room, double gap);

// Rows for spans that stay where they want to start: each in the first row (0, 1, ...) where
// it keeps `gap` from every span given before it.
std::vector<int> stack(const std::vector<Span>& spans, double gap);

}  // namespace reports::charts
