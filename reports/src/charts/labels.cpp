#include "labels.hpp"

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>

namespace reports::charts {
namespace {

// Places tried around a point: rows 9 px apart up to this many above and below it, and in
// each row, beside the point on either side, up to this many steps 24 px out, or centred.
constexpr int kRows = 13;
constexpr int kSteps = 4;
constexpr double kRowStep = 9.0;
constexpr double kSideStep = 24.0;

// What a place hits, in order of how much each counts.
constexpr long kOutside = 1'000'000;
constexpr long kLabel = 10'000;
constexpr long kBox = 100;
constexpr long kLine = 1;

struct Candidate {
  Box box;
  double distance;  // Squared, from the point to the box's nearest point.
};

double squaredDistance(const LabelRequest& r, const Box& b) {
  const double dx = std::max({b.left - r.x, 0.0, r.x - b.right});
  const double dy = std::max({b.top - r.y, 0.0, r.y - b.bottom});
  return dx * dx + dy * dy;
}

// The places at least the clearance away from the point, nearest first; rows above before
// rows below, the right side before the left, when they are as near.
std::vector<Candidate> candidates(const LabelRequest& r) {
  std::vector<double> lefts = {r.x - r.width / 2.0};
  for (int step = 0; step < kSteps; ++step) {
    const double out = r.clearance + kSideStep * static_cast<double>(step);
    lefts.push_back(r.x + out);
    lefts.push_back(r.x - out - r.width);
  }
  std::vector<Candidate> result;
  for (int row = 0; row <= 2 * kRows; ++row) {
    const int offset = row % 2 == 1 ? -(row + 1) / 2 : row / 2;
    const double top = r.y - r.height / 2.0 + kRowStep * static_cast<double>(offset);
    for (const double left : lefts) {
      const Box box{left, top, left + r.width, top + r.height};
      const double distance = squaredDistance(r, box);
      if (distance >= r.clearance * r.clearance) {
        result.push_back({box, distance});
      }
    }
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
  return result;
}

bool inside(const Box& inner, const Box& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

long hits(const Box& place, const Box& area, const Obstacles& obstacles,
          const std::vector<Box>& placed) {
  const auto count = [&](const auto& things, auto hit) {
    return static_cast<long>(std::count_if(things.begin(), things.end(), hit));
  };
  return (inside(place, area) ? 0 : kOutside) +
         kLabel * count(placed, [&](const Box& b) { return overlap(place, b); }) +
         kBox * count(obstacles.boxes, [&](const Box& b) { return overlap(place, b); }) +
         kLine * count(obstacles.lines, [&](const Segment& s) { return crosses(s, place); });
}

}  // namespace

bool overlap(const Box& a, const Box& b) {
  return a.right > b.left && a.left < b.right && a.bottom > b.top && a.top < b.bottom;
}

// The part of the segment inside the box, clipped one edge at a time (Liang and Barsky): the
// segment runs x1 + t dx, y1 + t dy for t from 0 to 1.
bool crosses(const Segment& s, const Box& b) {
  const double dx = s.x2 - s.x1;
  const double dy = s.y2 - s.y1;
  // For each edge, how fast the segment heads out through it and how far inside it starts.
  const std::array<std::pair<double, double>, 4> edges = {
      {{-dx, s.x1 - b.left}, {dx, b.right - s.x1}, {-dy, s.y1 - b.top}, {dy, b.bottom - s.y1}}};
  double enter = 0.0;
  double leave = 1.0;
  for (const auto& [out, in] : edges) {
    if (out == 0.0) {  // Parallel to this edge: inside it or never.
      if (in <= 0.0) {
        return false;
      }
      continue;
    }
    const double t = in / out;
    if (out < 0.0) {
      enter = std::max(enter, t);
    } else {
      leave = std::min(leave, t);
    }
  }
  return enter < leave;
}

std::vector<Box> placeLabels(const Box& area, const Obstacles& obstacles,
                             const std::vector<LabelRequest>& requests) {
  std::vector<Box> placed;
  placed.reserve(requests.size());
  for (const LabelRequest& request : requests) {
    const std::vector<Candidate> places = candidates(request);
    auto best = places.begin();
    long fewest = hits(best->box, area, obstacles, placed);
    for (auto place = best + 1; fewest > 0 && place != places.end(); ++place) {
      const long found = hits(place->box, area, obstacles, placed);
      if (found < fewest) {
        best = place;
        fewest = found;
      }
    }
    placed.push_back(best->box);
  }
  return placed;
}

std::vector<double> spread(const std::vector<Span>& spans, const Interval& room, double gap) {
  std::vector<std::size_t> order(spans.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return spans[a].wanted < spans[b].wanted; });
  std::vector<double> starts(spans.size());
  // From the first: each where it wants, or after the one before it.
  const auto pushForward = [&](auto wanted) {
    double next = room.low;
    for (const std::size_t i : order) {
      starts[i] = std::max(wanted(i), next);
      next = starts[i] + spans[i].length + gap;
    }
  };
  pushForward([&](std::size_t i) { return spans[i].wanted; });
  // From the last: each ends by high, and before the one after it.
  double end = room.high;
  for (std::size_t k = order.size(); k > 0; --k) {
    const std::size_t i = order[k - 1];
    starts[i] = std::min(starts[i], end - spans[i].length);
    end = starts[i] - gap;
  }
  // When they do not fit, the first ones keep their places.
  pushForward([&](std::size_t i) { return starts[i]; });
  return starts;
}

std::vector<int> stack(const std::vector<Span>& spans, double gap) {
  std::vector<int> rows;
  rows.reserve(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const auto clashes = [&](int row) {
      for (std::size_t before = 0; before < i; ++before) {
        const Span& a = spans[before];
        if (rows[before] == row && a.wanted < spans[i].wanted + spans[i].length + gap &&
            spans[i].wanted < a.wanted + a.length + gap) {
          return true;
        }
      }
      return false;
    };
    int row = 0;
    while (clashes(row)) {
      ++row;
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace reports::charts
