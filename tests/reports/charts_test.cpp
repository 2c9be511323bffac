#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <locale>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "charts/axes.hpp"
#include "charts/labels.hpp"
#include "heat/mech_heat_system.hpp"
#include "reports/charts.hpp"
#include "reports/svg_report.hpp"
#include "simulation/rules.hpp"
#include "simulation/sweep.hpp"
#include "svg_writer.hpp"

namespace reports {
namespace {

template <typename Chart>
std::string render(void (*write)(std::ostream&, const Chart&), const Chart& chart) {
  std::ostringstream out;
  write(out, chart);
  return out.str();
}

// The text from `start` (searched after `after`) up to the next closing </g>.
std::string group(const std::string& svg, const std::string& start, const std::string& after = "") {
  const std::size_t from = svg.find(start, after.empty() ? 0 : svg.find(after));
  EXPECT_NE(from, std::string::npos) << start;
  return from == std::string::npos ? "" : svg.substr(from, svg.find("</g>", from) - from);
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

// The number in attribute `name` of the tag.
double attr(const std::string& tag, const std::string& name) {
  const std::size_t at = tag.find(" " + name + "=\"");
  return at == std::string::npos ? std::nan("") : std::stod(tag.substr(at + name.size() + 3));
}

std::vector<std::string> all(const std::string& text, const char* pattern, std::size_t part = 0) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    found.push_back((*it)[part]);
  }
  return found;
}

// Each tag of `text` that begins with `start`, up to its '>': for tags too
// long for std::regex, which recurses once a character.
std::vector<std::string> tags(const std::string& text, const std::string& start) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
    found.push_back(text.substr(at, text.find('>', at) + 1 - at));
  }
  return found;
}

// A tick label's value: "250 k" is 250000, "4 M" 4000000.
double labelValue(const std::string& text) {
  std::size_t digits = 0;
  const double value = std::stod(text, &digits);
  const std::string suffix = text.substr(digits);
  const std::vector<std::pair<std::string, double>> units = {
      {"", 1}, {" k", 1e3}, {" M", 1e6}, {" G", 1e9}, {" T", 1e12}};
  const auto unit =
      std::find_if(units.begin(), units.end(), [&](const auto& u) { return u.first == suffix; });
  EXPECT_NE(unit, units.end()) << text;
  return unit == units.end() ? std::nan("") : value * unit->second;
}

// Reads an axis from its own tick lines and tick labels, to map data values to pixels.
struct Axis {
  double v0, p0, v1, p1;
  [[nodiscard]] double at(double v) const { return p0 + (v - v0) * (p1 - p0) / (v1 - v0); }
};
Axis readAxis(const std::string& axisGroup, bool vertical) {
  std::vector<double> pixels;
  for (const std::string& tag : all(axisGroup, "<line[^>]*>")) {
    const bool isTick =
        vertical ? attr(tag, "y1") == attr(tag, "y2") : attr(tag, "x1") == attr(tag, "x2");
    if (isTick) {
      pixels.push_back(attr(tag, vertical ? "y1" : "x1"));
    }
  }
  const std::vector<std::string> labels = all(axisGroup, "<text[^>]*>([^<]*)</text>", 1);
  EXPECT_GE(pixels.size(), 2U);
  EXPECT_GE(labels.size(), pixels.size());
  if (pixels.size() < 2 || labels.size() < pixels.size()) {
    return {0, 0, 1, 1};
  }
  return {labelValue(labels.front()), pixels.front(), labelValue(labels[pixels.size() - 1]),
          pixels.back()};
}

std::vector<std::pair<double, double>> points(const std::string& tag) {
  std::vector<std::pair<double, double>> result;
  std::istringstream in(tag.substr(tag.find("points=\"") + 8));
  double x = 0;
  double y = 0;
  char comma = 0;
  while (in >> x >> comma >> y) {
    result.emplace_back(x, y);
  }
  return result;
}

// Each 95 % whisker of a sweep chart, in the order drawn.
struct Whisker {
  double x, low, high;
};
std::vector<Whisker> whiskers(const std::string& svg) {
  std::vector<Whisker> found;
  const std::regex re(R"(class="whisker" d="M ?(-?[0-9.]+),(-?[0-9.]+) h6 m-3,0 V(-?[0-9.]+) )");
  for (std::sregex_iterator it(svg.begin(), svg.end(), re), end; it != end; ++it) {
    found.push_back({std::stod((*it)[1]) + 3.0, std::stod((*it)[2]), std::stod((*it)[3])});
  }
  return found;
}

// Where a text's glyphs are, about: narrower than any sans-serif face sets them, so that
// boxes found overlapping surely do.
struct TextBox {
  double left, top, right, bottom;
  std::string text;
};
std::vector<TextBox> textBoxes(const std::string& svg) {
  std::vector<TextBox> boxes;
  for (const std::string& tag : tags(svg, "<text ")) {
    const std::size_t start = svg.find(tag) + tag.size();
    std::string text = svg.substr(start, svg.find("</text>", start) - start);
    text = std::regex_replace(text, std::regex("&[a-z]+;"), "x");
    const auto chars = std::count_if(text.begin(), text.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
    });
    const double size = attr(tag, "font-size");
    const double width = 0.5 * size * static_cast<double>(chars);
    const double x = attr(tag, "x");
    const double y = attr(tag, "y");
    const std::vector<std::string> anchors = all(tag, "text-anchor=\"([a-z]+)\"", 1);
    const std::string anchor = anchors.empty() ? "start" : anchors.front();
    const double shift = anchor == "start" ? 0.0 : anchor == "middle" ? width / 2.0 : width;
    if (tag.find("rotate(-90") != std::string::npos) {  // Reads upwards.
      boxes.push_back({x - 0.7 * size, y - width + shift, x + 0.1 * size, y + shift, text});
    } else if (tag.find("rotate(90") != std::string::npos) {  // Reads downwards.
      boxes.push_back({x - 0.1 * size, y - shift, x + 0.7 * size, y - shift + width, text});
    } else {
      boxes.push_back({x - shift, y - 0.7 * size, x - shift + width, y + 0.1 * size, text});
    }
  }
  return boxes;
}

bool overlapping(const TextBox& a, const TextBox& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Parses every file with Python's XML parser in one process; true if all parse.
bool parseAsXml(const std::vector<std::string>& files) {
  std::vector<std::string> words = {
      "python3", "-c",
      "import sys, xml.etree.ElementTree as tree\nfor path in sys.argv[1:]: tree.parse(path)"};
  words.insert(words.end(), files.begin(), files.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, "python3", nullptr, nullptr, argv.data(), environ);
  EXPECT_EQ(error, 0) << "python3 is needed to parse the charts: " << std::strerror(error);
  int status = 0;
  return error == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

charts::BatchChart batch(int turnCount) {
  charts::BatchChart chart;
  chart.title = "Heat <&> \"batch\" 'x'";
  chart.description = "Turns & runs.";
  for (int t = 1; t <= turnCount; ++t) {
    const double heat = 10.0 * t;
    const double share = std::min(0.8, 0.01 * t);
    chart.turns.push_back({t,
                           heat - 20,
                           heat - 8,
                           heat,
                           heat + 8,
                           heat + 20,
                           {share, share - 0.01, share + 0.01},
                           {share / 4, 0, share / 2},
                           {share, share, share}});
  }
  for (int b = 0; b < 20; ++b) {
    chart.finalHeat.push_back({b * 10.0, b * 10.0 + 10, 0.05 + b * 0.001, 1 - b * 0.05});
  }
  return chart;
}

struct Levels {
  double overheat, critical;
};

// Final heat only up to 50, with the given levels.
charts::BatchChart coolBatch(Levels levels) {
  charts::BatchChart chart = batch(3);
  chart.finalHeat.resize(5);
  chart.overheatLevel = levels.overheat;
  chart.criticalLevel = levels.critical;
  return chart;
}

charts::SweepChart sweep(int seriesCount) {
  charts::SweepChart chart;
  chart.title = "Sweep";
  chart.xLabel = "Heatsinks";
  chart.maxOverheat = 0.2;
  for (int s = 0; s < seriesCount; ++s) {
    charts::SweepSeries series;
    series.label = "single, <air> " + std::to_string(s);
    for (int x = 20; x >= 10; --x) {  // Unsorted on purpose.
      const double v = 1.0 - 0.09 * (x - 10);
      series.points.push_back({double(x), {v, v - 0.03, v + 0.03}, x == 12 + s % 3});
    }
    chart.series.push_back(series);
  }
  return chart;
}

// A sweep along a number that is not a count: a quarter of each heatsink count.
charts::SweepChart quarterSweep() {
  charts::SweepChart chart = sweep(2);
  for (charts::SweepSeries& series : chart.series) {
    for (charts::SweepPoint& p : series.points) {
      p.x /= 4;
    }
  }
  return chart;
}

charts::SweepChart withLimit(charts::SweepChart chart, double maxOverheat) {
  chart.maxOverheat = maxOverheat;
  return chart;
}

// Every series picks both corners of the plot, so that labels run out of free places.
charts::SweepChart crowdedSweep() {
  charts::SweepChart chart;
  chart.description = "Crowded.";
  for (int s = 0; s < 12; ++s) {
    std::string label = std::to_string(s);
    label.insert(0, 1, 's');
    chart.series.push_back({label, {{0, {1, 0.9, 1}, true}, {4, {0, 0, 0.1}, true}}});
  }
  return chart;
}

// Heat in the millions over 5000 turns, as a long batch has it.
charts::BatchChart hugeBatch() {
  charts::BatchChart chart;
  chart.title =
      "3000 runs of 5000 turns: 10 single heatsinks, 100 liters, starting in temperate air";
  for (int t = 5; t <= 5000; t += 5) {
    const double heat = 0.3 * t * t;
    chart.turns.push_back({t,
                           heat * 0.9,
                           heat * 0.95,
                           heat,
                           heat * 1.05,
                           heat * 1.1,
                           {1, 0.99, 1},
                           {1, 0.99, 1},
                           {1, 0.99, 1}});
  }
  for (int b = 0; b < 20; ++b) {
    chart.finalHeat.push_back({b * 5e5, b * 5e5 + 5e5, b == 15 ? 1.0 : 0.0, b <= 15 ? 1.0 : 0.0});
  }
  return chart;
}

// One slot per category, each series' share a little lower than the one before; series s
// picks category s.
charts::SweepChart byCategory(const std::vector<std::string>& categories, int seriesCount) {
  charts::SweepChart chart;
  chart.xLabel = "Environment";
  chart.xCategories = categories;
  chart.maxOverheat = 0.8;
  for (int s = 0; s < seriesCount; ++s) {
    charts::SweepSeries series{"type " + std::to_string(s), {}};
    for (std::size_t c = 0; c < categories.size(); ++c) {
      const double v = 0.7 + 0.02 * static_cast<double>(c) - 0.1 * s;
      series.points.push_back(
          {static_cast<double>(c), {v, v - 0.05, v + 0.04}, c == static_cast<std::size_t>(s)});
    }
    chart.series.push_back(series);
  }
  return chart;
}

// Intervals reaching 20 % above each share.
charts::SweepChart longWhiskers(charts::SweepChart chart) {
  for (charts::SweepSeries& series : chart.series) {
    for (charts::SweepPoint& p : series.points) {
      p.everOverheated.high = p.everOverheated.value + 0.2;
    }
  }
  return chart;
}

// Each point's difference from its baseline: series 0 is the baseline, the others below and
// above it.
charts::SweepChart versus(charts::SweepChart chart) {
  chart.versus = "type single";
  for (std::size_t s = 1; s < chart.series.size(); ++s) {
    for (charts::SweepPoint& p : chart.series[s].points) {
      const double d = (s % 2 == 1 ? -1.0 : 1.0) * (0.05 + 0.01 * p.x);
      p.difference = {d, d - 0.02, d + 0.03};
    }
  }
  return chart;
}

const std::vector<std::string> kEnvironments = {"space", "water", "hot air", "cold air",
                                                "temperate air"};

// Five environments whose lines meet near the limit, the first two picking the last design,
// as a sweep over heatsinks in every environment has it.
charts::SweepChart convergingSweep() {
  charts::SweepChart chart;
  chart.xLabel = "Heatsinks";
  chart.maxOverheat = 0.2;
  for (std::size_t s = 0; s < kEnvironments.size(); ++s) {
    charts::SweepSeries series{kEnvironments[s], {}};
    for (int x = 8; x <= 40; x += 4) {
      const double v = 0.8 - 0.018 * (x - 8) + 0.015 * static_cast<double>(s);
      series.points.push_back({double(x), {v, v - 0.004, v + 0.004}, x == 40 && s < 2});
    }
    chart.series.push_back(series);
  }
  return chart;
}

charts::RunChart run(int turnCount) {
  charts::RunChart chart;
  chart.title = "Run";
  for (int t = 1; t <= turnCount; ++t) {
    chart.turns.push_back({t, 7.0 * (t % 17),
                           t % 5 == 1 ? std::optional<std::string>("desert & sea") : std::nullopt,
                           t % 3 == 0 ? 2 : 0, t % 7 == 0 ? 10 : 0});
  }
  return chart;
}

// A run that starts in an unnamed environment and then enters a new one every turn.
charts::RunChart wanderingRun() {
  charts::RunChart chart = run(40);
  chart.description = "Wandering.";
  for (std::size_t i = 1; i < chart.turns.size(); ++i) {
    chart.turns[i].movedTo = "place " + std::to_string(i);
  }
  chart.turns[0].movedTo.reset();
  return chart;
}

charts::RunChart hotRun() {  // Every turn above a high overheat level, with coolant.
  charts::RunChart chart = run(80);
  chart.overheatLevel = 1000.0;
  for (charts::RunTurn& t : chart.turns) {
    t.coolantDrawn = 3;
  }
  return chart;
}

TEST(FormatNumber, FixedAtMostTwoDecimalsNoNegativeZero) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.0, "0"},
      {-0.0, "0"},
      {-0.004, "0"},
      {2.5, "2.5"},
      {10.0, "10"},
      {0.999, "1"},
      {3.14159, "3.14"},
      {-12.346, "-12.35"},
      {1e6, "1000000"},
      {0.1 + 0.2, "0.3"},
      {std::nan(""), "0"},
      {1.0 / 0.0, "0"},
      {1e70, "10000000000000000725314363815292351261583744096465219555182101554790400"}};
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(svg::formatNumber(value), expected) << value;
  }
  EXPECT_EQ(svg::formatNumber(-std::numeric_limits<double>::max()).size(), 310U);
}

TEST(Escape, MarkupCharactersAndForbiddenControls) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a<b & \"c\" 'd' >", "a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;"},
      {"tab\there\nnew\rline", "tab\there\nnew\rline"},  // XML keeps these three controls.
      {std::string("x\x01\x1f", 3) + '\0' + "y", "xy"},
      {"h\u00e9at", "h\u00e9at"}};  // UTF-8 passes through.
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(svg::escape(text), expected) << text;
  }
}

TEST(Writer, NestsAndEscapesAttributes) {
  std::ostringstream out;
  {
    svg::Writer w(out);
    w.open("svg", {{"a", "x\"<y"}, {"n", 1.5}});
    w.open("g");
    w.text("text", {}, "1 < 2");
    w.close();
    w.empty("rect", {{"w", -0.001}, {"h", 3}});
  }  // The destructor closes <svg>.
  EXPECT_EQ(out.str(),
            "<svg a=\"x&quot;&lt;y\" n=\"1.5\">\n<g>\n<text>1 &lt; 2</text>\n</g>\n"
            "<rect w=\"0\" h=\"3\"/>\n</svg>\n");
}

TEST(NiceTicks, RoundStepsCoveringTheRange) {
  struct Case {
    double low, high;
    int maxTicks;
    double step, first, last;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {0, 100, 5, 20, 0, 100},  {0, 7.3, 5, 2, 0, 8},        {1, 1000, 10, 100, 0, 1000},
      {13, 87, 4, 20, 0, 100},  {-35, 12, 5, 10, -40, 20},   {0, 0.042, 5, 0.01, 0, 0.05},
      {5, 5, 4, 0.5, 4.5, 5.5}, {0, 0, 4, 0.5, -1, 1},       {1, 10, 10, 1, 1, 10},
      {100, 0, 5, 20, 0, 100},  {0, 10, 0, 10, 0, 10},       {std::nan(""), 5, 5, 0.2, 0, 1},
      {0, inf, 5, 0.2, 0, 1},   {-1e308, 1e308, 5, 1, 0, 1}, {0, 1e-305, 5, 1, 0, 1}};
  for (const Case& c : cases) {
    const charts::Ticks t = charts::niceTicks(c.low, c.high, c.maxTicks);
    EXPECT_DOUBLE_EQ(t.step, c.step) << c.low << ".." << c.high;
    EXPECT_DOUBLE_EQ(t.values.front(), c.first) << c.low << ".." << c.high;
    EXPECT_NEAR(t.values.back(), c.last, 1e-9) << c.low << ".." << c.high;
  }
}

TEST(TickLabels, LargeNumbersInThousandsAndMillionsWhileTheStepShows) {
  struct Case {
    double low, high;
    int maxTicks;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {0, 8e6, 4, {"0", "2 M", "4 M", "6 M", "8 M"}},
      {0, 250000, 5, {"0", "50 k", "100 k", "150 k", "200 k", "250 k"}},
      {1e6, 1.2e6, 4, {"1000 k", "1050 k", "1100 k", "1150 k", "1200 k"}},  // Not 1.05 M.
      {0, 1.5e6, 3, {"0", "0.5 M", "1 M", "1.5 M"}},
      {0, 5000, 4, {"0", "2000", "4000", "6000"}},  // Four digits read well.
      {0, 10000, 2, {"0", "5 k", "10 k"}},
      {-20000, 0, 2, {"-20 k", "-10 k", "0"}},
      {1e9, 3e9, 2, {"1 G", "2 G", "3 G"}},
      {0, 2e12, 2, {"0", "1 T", "2 T"}},
      {1000000, 1000020, 2, {"1000000", "1000010", "1000020"}},  // Not 1000.01 k.
      {0, 1, 2, {"0", "0.5", "1"}}};
  for (const Case& c : cases) {
    EXPECT_EQ(charts::tickLabels(charts::niceTicks(c.low, c.high, c.maxTicks)), c.labels)
        << c.low << ".." << c.high;
  }
  // The plot makes room for its widest label, and only then.
  EXPECT_EQ(charts::plotLeft(charts::widest({"0", "100"})), 72.0);
  const double wide = charts::widest({"0", "-1234567.5"});
  EXPECT_GT(charts::plotLeft(wide), 72.0);
  EXPECT_EQ(charts::plotLeft(wide) - charts::plotLeft(wide - 10.0), 10.0);
}

TEST(LabelRules, BoxesOverlapOnlyInside) {
  const charts::Box box{10, 10, 20, 20};
  const std::pair<charts::Box, bool> cases[] = {{{15, 15, 25, 25}, true},  {{0, 0, 30, 30}, true},
                                                {{20, 10, 30, 20}, false}, {{0, 10, 10, 20}, false},
                                                {{10, 20, 20, 30}, false}, {{10, 0, 20, 10}, false},
                                                {{12, 0, 18, 11}, true},   {{0, 12, 11, 18}, true}};
  for (const auto& [other, expected] : cases) {
    EXPECT_EQ(charts::overlap(box, other), expected) << other.left << "," << other.top;
    EXPECT_EQ(charts::overlap(other, box), expected) << other.left << "," << other.top;
  }
}

TEST(LabelRules, SegmentsCrossABoxOnlyThroughItsInside) {
  const charts::Box box{10, 10, 20, 20};
  const std::pair<charts::Segment, bool> cases[] = {
      {{0, 15, 30, 15}, true},    // straight across
      {{15, 0, 15, 30}, true},    // down through it
      {{12, 12, 14, 14}, true},   // wholly inside
      {{0, 0, 30, 30}, true},     // corner to corner
      {{30, 30, 0, 0}, true},     // the other way
      {{0, 5, 30, 5}, false},     // above
      {{0, 25, 30, 25}, false},   // below
      {{5, 0, 5, 30}, false},     // left
      {{25, 0, 25, 30}, false},   // right
      {{0, 10, 30, 10}, false},   // along the top edge
      {{0, 20, 30, 20}, false},   // along the bottom edge
      {{10, 0, 10, 30}, false},   // along the left edge
      {{20, 0, 20, 30}, false},   // along the right edge
      {{0, 15, 10, 15}, false},   // up to the edge
      {{0, 0, 5, 5}, false},      // towards it, stopping short
      {{25, 25, 40, 40}, false},  // away from it
      {{0, 20, 10, 30}, false},   // past a corner
      {{5, 22, 22, 5}, true}};    // cutting a corner
  for (const auto& [segment, expected] : cases) {
    EXPECT_EQ(charts::crosses(segment, box), expected)
        << segment.x1 << "," << segment.y1 << " to " << segment.x2 << "," << segment.y2;
  }
}

TEST(LabelRules, EachLabelTakesTheNearestFreePlace) {
  const charts::Box area{0, 0, 400, 300};
  const charts::LabelRequest at100{100, 100, 60, 16, 12};
  struct Case {
    std::string name;
    charts::Obstacles obstacles;
    std::vector<charts::LabelRequest> requests;
    std::vector<charts::Box> expected;
  };
  const Case cases[] = {
      {"free: right of the point, level with it", {}, {at100}, {{112, 92, 172, 108}}},
      {"a box there: left of the point", {{}, {{110, 90, 130, 110}}}, {at100}, {{28, 92, 88, 108}}},
      {"boxes on both sides: a row up",
       {{}, {{110, 95, 130, 105}, {70, 95, 90, 105}}},
       {at100},
       {{112, 74, 172, 90}}},
      {"a line through the right: left", {{{150, 0, 150, 300}}, {}}, {at100}, {{28, 92, 88, 108}}},
      {"at the area's right end: left", {}, {{380, 100, 60, 16, 12}}, {{308, 92, 368, 108}}},
      {"at the area's top: right, lower",
       {{{0, 6, 400, 6}}, {{110, 5, 130, 15}, {70, 5, 90, 15}}},
       {{100, 5, 60, 16, 12}},
       {{112, 15, 172, 31}}},
      {"two at one point: the second on the other side",
       {},
       {at100, at100},
       {{112, 92, 172, 108}, {28, 92, 88, 108}}}};
  for (const Case& c : cases) {
    const std::vector<charts::Box> placed = charts::placeLabels(area, c.obstacles, c.requests);
    ASSERT_EQ(placed.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < placed.size(); ++i) {
      const auto corners = [](const charts::Box& b) {
        return std::tuple{b.left, b.top, b.right, b.bottom};
      };
      EXPECT_EQ(corners(placed[i]), corners(c.expected[i])) << c.name;
    }
  }
}

TEST(LabelRules, WithoutAFreePlaceTheLeastHarmfulOne) {
  // An area too small for it: the nearest place, outside.
  const std::vector<charts::Box> squeezed =
      charts::placeLabels({95, 95, 105, 105}, {}, {{100, 100, 30, 16, 12}});
  EXPECT_DOUBLE_EQ(squeezed[0].left, 112);
  // A strip whose every place crosses a line: the second label crosses it too rather than
  // the first label, and rather than leave the strip; over a box rather than on the label.
  charts::Obstacles line;
  line.lines.push_back({0, 100, 400, 100});
  const charts::Box strip{100, 84, 300, 116};
  const std::vector<charts::LabelRequest> two(2, {100, 100, 60, 16, 12});
  const std::vector<charts::Box> beside = charts::placeLabels(strip, line, two);
  EXPECT_DOUBLE_EQ(beside[0].left, 112);
  EXPECT_DOUBLE_EQ(beside[1].left, 184);
  EXPECT_DOUBLE_EQ(beside[1].top, 92);
  line.boxes.push_back({190, 90, 200, 110});
  EXPECT_DOUBLE_EQ(charts::placeLabels(strip, line, two)[1].left, 184);
}

TEST(LabelRules, SpreadKeepsOrderAndRoom) {
  struct Case {
    std::string name;
    std::vector<charts::Span> spans;
    double low, high;
    std::vector<double> starts;
  };
  const Case cases[] = {
      {"apart: where they want", {{10, 5}, {30, 5}}, 0, 100, {10, 30}},
      {"close: the later one after the first", {{10, 10}, {15, 10}}, 0, 100, {10, 22}},
      {"given out of order", {{15, 10}, {10, 10}}, 0, 100, {22, 10}},
      {"past high: moved back", {{85, 10}, {90, 10}}, 0, 100, {78, 90}},
      {"before low: moved on", {{-5, 10}, {40, 10}}, 0, 100, {0, 40}},
      {"too many: from low on", {{10, 40}, {20, 40}, {30, 40}}, 0, 100, {0, 42, 84}},
      {"none", {}, 0, 100, {}}};
  for (const Case& c : cases) {
    EXPECT_EQ(charts::spread(c.spans, {c.low, c.high}, 2.0), c.starts) << c.name;
  }
}

TEST(LabelRules, StackTakesTheFirstRowWithRoom) {
  struct Case {
    std::string name;
    std::vector<charts::Span> spans;
    std::vector<int> rows;
  };
  const Case cases[] = {{"apart: one row", {{0, 10}, {20, 10}}, {0, 0}},
                        {"within the gap: a row lower", {{0, 10}, {13, 10}}, {0, 1}},
                        {"just clear of the gap", {{0, 10}, {14, 10}}, {0, 0}},
                        {"on top of each other", {{0, 10}, {0, 10}, {0, 10}}, {0, 1, 2}},
                        {"the first row again once clear", {{0, 10}, {5, 10}, {30, 10}}, {0, 1, 0}},
                        {"before an earlier one", {{20, 10}, {10, 10}}, {0, 1}},
                        {"well before an earlier one", {{20, 10}, {0, 10}}, {0, 0}}};
  for (const Case& c : cases) {
    EXPECT_EQ(charts::stack(c.spans, 4.0), c.rows) << c.name;
  }
}

struct ChartCase {
  std::string name;
  std::string svg;
};

std::vector<ChartCase> charts() {
  charts::BatchChart untitled = coolBatch({-50, 30});
  untitled.title.clear();
  charts::SweepChart onePoint;
  onePoint.series.push_back({"one", {{3, {0.3, 0.2, 0.4}, true}}});
  charts::SweepChart noPoints;
  noPoints.series.push_back({"none", {}});
  noPoints.maxOverheat = 0.1;
  return {{"batch30", render(charts::writeBatchChart, batch(30))},
          {"batch1", render(charts::writeBatchChart, batch(1))},
          {"batch1000", render(charts::writeBatchChart, batch(1000))},
          {"batchEmpty", render(charts::writeBatchChart, charts::BatchChart{})},
          {"batchUntitled", render(charts::writeBatchChart, untitled)},
          {"sweep12", render(charts::writeSweepChart, sweep(12))},
          {"sweepOnePoint", render(charts::writeSweepChart, onePoint)},
          {"sweepNoPoints", render(charts::writeSweepChart, noPoints)},
          {"sweepCrowded", render(charts::writeSweepChart, crowdedSweep())},
          {"sweepEmpty", render(charts::writeSweepChart, charts::SweepChart{})},
          {"batchHuge", render(charts::writeBatchChart, hugeBatch())},
          {"sweepByEnvironment", render(charts::writeSweepChart, byCategory(kEnvironments, 1))},
          {"sweepByType", render(charts::writeSweepChart, byCategory({"single", "double"}, 3))},
          {"sweepConverging", render(charts::writeSweepChart, convergingSweep())},
          {"sweepVersus", render(charts::writeSweepChart, versus(sweep(3)))},
          {"sweepVersusByType", render(charts::writeSweepChart, versus(byCategory({"a", "b"}, 3)))},
          {"batchLevelAtTheEnd", render(charts::writeBatchChart, coolBatch({28, 50}))},
          {"run10", render(charts::writeRunChart, run(10))},
          {"run1000", render(charts::writeRunChart, run(1000))},
          {"runWandering", render(charts::writeRunChart, wanderingRun())},
          {"runHot", render(charts::writeRunChart, hotRun())},
          {"runEmpty", render(charts::writeRunChart, charts::RunChart{})}};
}

TEST(Charts, SelfContainedParseableSvg) {
  const auto directory =
      std::filesystem::temp_directory_path() / ("charts_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(directory);
  std::vector<std::string> files;
  const std::regex root(R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 800 [0-9]+")");
  for (const auto& [name, svg] : charts()) {
    EXPECT_TRUE(std::regex_search(svg.substr(0, 200), root)) << name;
    EXPECT_NE(svg.find("<title>"), std::string::npos) << name;
    EXPECT_GT(svg.find("</desc>") - svg.find("<desc>"), 30U) << name;
    for (const char* banned : {"<script", "href", "@import", "url("}) {
      EXPECT_EQ(svg.find(banned), std::string::npos) << name << " has " << banned;
    }
    files.push_back((directory / (name + ".svg")).string());
    std::ofstream(files.back(), std::ios::binary) << svg;
  }
  EXPECT_TRUE(parseAsXml(files));
  std::filesystem::remove_all(directory);
}

TEST(Charts, TextsKeepClearOfEachOther) {
  for (const auto& [name, svg] : charts()) {
    if (name == "sweepCrowded") {  // Its labels cannot all find room.
      continue;
    }
    const std::vector<TextBox> boxes = textBoxes(svg);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_TRUE(boxes[i].left >= 0 && boxes[i].right <= 800)
          << name << ": \"" << boxes[i].text << "\" runs off the page";
      for (std::size_t j = i + 1; j < boxes.size(); ++j) {
        EXPECT_FALSE(overlapping(boxes[i], boxes[j]))
            << name << ": \"" << boxes[i].text << "\" and \"" << boxes[j].text << "\"";
      }
    }
  }
}

TEST(Charts, DescriptionGivesKeyNumbers) {
  charts::RunChart described = run(10);
  described.description = "Hot day.";
  charts::RunChart stayed = run(4);
  stayed.turns[0].movedTo.reset();
  const std::pair<std::string, std::string> cases[] = {
      {render(charts::writeBatchChart, batch(30)), "median heat is 300"},
      {render(charts::writeBatchChart, batch(30)), "30 % of runs are overheated"},
      {render(charts::writeBatchChart, batch(30)), "most runs (6.9 %) end between 190 and 200."},
      {render(charts::writeBatchChart, batch(30)), "Turns &amp; runs.</desc>"},
      {render(charts::writeBatchChart, charts::BatchChart{}), "with no turns to show.</desc>"},
      {render(charts::writeSweepChart, sweep(1)), "for 1 combination. single"},
      {render(charts::writeSweepChart, sweep(3)), "for 3 combinations."},
      {render(charts::writeSweepChart, sweep(3)), "&lt;air&gt; 1 at 13: 73 % (picked);"},
      {render(charts::writeSweepChart, sweep(3)), "Accepted at most: 20 %.</desc>"},
      {render(charts::writeSweepChart, versus(sweep(2))),
       "Less the same design with type single: single, &lt;air&gt; 0 at 20: 0 %;"},
      {render(charts::writeSweepChart, crowdedSweep()), "; Crowded.</desc>"},
      {render(charts::writeRunChart, described),
       "peaks at 70 on turn 10 and ends at 70. It is above the overheat level 60 after 2 turns "
       "and at or above the critical level 100 after 0. 2 environment changes (desert &amp; sea, "
       "desert &amp; sea); coolant drawn on 3 turns, 6 liters in all; heatsink damage on 1 turns, "
       "10 % in all. Hot day.</desc>"},
      {render(charts::writeRunChart, run(1000)), "200 environment changes; coolant"},
      {render(charts::writeRunChart, stayed), "0 environment changes; coolant"},
      {render(charts::writeRunChart, charts::RunChart{}), "One run with no turns to show.</desc>"}};
  for (const auto& [svg, expected] : cases) {
    EXPECT_NE(svg.find(expected), std::string::npos) << expected;
  }
}

TEST(Charts, NumbersIgnoreTheStreamLocale) {
  struct Comma : std::numpunct<char> {
    [[nodiscard]] char do_decimal_point() const override { return ','; }
    [[nodiscard]] std::string do_grouping() const override { return "\3"; }
  };
  std::ostringstream out;
  out.imbue(std::locale(std::locale::classic(), new Comma));
  charts::writeBatchChart(out, batch(30));
  EXPECT_EQ(out.str(), render(charts::writeBatchChart, batch(30)));
}

TEST(Charts, LevelsOutsideTheirAxisAreLeftOut) {
  struct Case {
    std::string svg, panel, level;
    std::size_t drawn;
  };
  const Case cases[] = {
      {render(charts::writeSweepChart, sweep(2)), "<svg", ">Limit<", 1},
      {render(charts::writeSweepChart, withLimit(sweep(2), 1.5)), "<svg", ">Limit<", 0},
      {render(charts::writeSweepChart, withLimit(sweep(2), -0.5)), "<svg", ">Limit<", 0},
      {render(charts::writeRunChart, run(10)), "<svg", ">Overheat<", 1},
      {render(charts::writeRunChart, hotRun()), "<svg", ">Overheat<", 0},
      {render(charts::writeBatchChart, coolBatch({-50, 100})), "heat-panel", ">Overheat<", 0},
      {render(charts::writeBatchChart, coolBatch({30, 100})), "final-panel", "\"6 4\"", 1},
      {render(charts::writeBatchChart, coolBatch({-5, 30})), "final-panel", "\"6 4\"", 1},
      {render(charts::writeBatchChart, batch(3)), "final-panel", "\"6 4\"", 2}};
  for (const Case& c : cases) {
    const std::string part = c.svg.substr(c.svg.find(c.panel));
    EXPECT_EQ(count(part.substr(0, part.find("</g>\n</g>")), c.level), c.drawn) << c.level;
  }
}

TEST(Charts, LevelNamesSitBesideTheirLinesOrAreTiedToThem) {
  // Apart; close, so that the lower one moves down; both at the bottom, so that both move up.
  const std::vector<std::pair<std::string, std::size_t>> cases{
      {render(charts::writeRunChart, run(10)), 0},
      {render(charts::writeBatchChart, batch(30)), 1},
      {render(charts::writeBatchChart, hugeBatch()), 2}};
  for (const auto& [svg, ties] : cases) {
    const std::string part = svg.substr(0, svg.find("share-panel"));
    std::size_t tied = 0;
    for (const char* colour : {"#E69F00", "#D55E00"}) {  // Overheat, critical.
      const std::string in = R"([^>]*stroke=")" + std::string(colour) + R"(" stroke-width=")";
      const auto level = all(part, ("<line" + in + R"(1.5" stroke-dasharray="6 4"/>)").c_str());
      const auto tie = all(part, ("<line" + in + R"(1" stroke-dasharray="none"/>)").c_str());
      const auto name =
          all(part, (R"(<text [^>]*fill=")" + std::string(colour) + "\">[A-Z]").c_str());
      ASSERT_EQ(level.size(), 1U);
      ASSERT_FALSE(name.empty());
      // The name just above its line, or tied from the line's end to between it and its value.
      const double y = attr(level[0], "y1");
      EXPECT_NEAR(tie.empty() ? y : attr(tie[0], "y2"), attr(name[0], "y") + 2, 0.02) << colour;
      if (!tie.empty()) {
        EXPECT_EQ(attr(tie[0], "x1"), attr(level[0], "x2"));
        EXPECT_EQ(attr(tie[0], "y1"), y);
      }
      tied += tie.size();
    }
    EXPECT_EQ(tied, ties);
  }
}

TEST(BatchChart, MedianAndAtLeastLinesSitOnTheirAxes) {
  for (int turns : {1, 30, 1000}) {
    const charts::BatchChart chart = batch(turns);
    const std::string svg = render(charts::writeBatchChart, chart);
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">", "heat-panel"), true);
    const Axis x = readAxis(group(svg, "<g class=\"x-axis\">", "heat-panel"), false);
    const auto median = points(tags(svg, "<polyline class=\"median\"").at(0));
    ASSERT_GE(median.size(), 2U);
    const std::size_t last = median.size() - 1;
    EXPECT_NEAR(median[last].second, y.at(chart.turns.back().p50), 0.02) << turns;
    if (turns > 1) {
      EXPECT_NEAR(median[last].first, x.at(chart.turns.back().turn), 0.02) << turns;
    }
    EXPECT_GT(median[last].first - median[0].first, 5.0) << "a single turn must stay visible";

    const Axis right = readAxis(group(svg, "<g class=\"y-axis-right\">", "final-panel"), true);
    const auto atLeast = points(tags(svg, "<polyline class=\"at-least\"").at(0));
    ASSERT_EQ(atLeast.size(), chart.finalHeat.size());
    for (std::size_t i = 0; i < atLeast.size(); i += 7) {
      EXPECT_NEAR(atLeast[i].second, right.at(chart.finalHeat[i].shareAtLeast * 100), 0.02);
    }
  }
}

TEST(Charts, TurnAxesShowWholeTurns) {
  for (const std::string& svg :
       {render(charts::writeBatchChart, batch(1)), render(charts::writeBatchChart, batch(4)),
        render(charts::writeRunChart, run(1)), render(charts::writeRunChart, run(13))}) {
    const auto labels = all(group(svg, "<g class=\"x-axis\">"), "<text[^>]*>([^<]*)</text>", 1);
    ASSERT_GE(labels.size(), 2U);
    for (std::size_t i = 0; i + 1 < labels.size(); ++i) {  // The last one is the axis title.
      EXPECT_TRUE(std::regex_match(labels[i], std::regex("[0-9]+"))) << labels[i];
    }
  }
}

TEST(BatchChart, BandsSpanTheirRanges) {
  for (int turns : {1, 30}) {
    const charts::BatchChart chart = batch(turns);
    const std::string svg = render(charts::writeBatchChart, chart);
    const auto n = static_cast<std::size_t>(turns);
    const std::size_t drawn = std::max<std::size_t>(n, 2);  // A single turn is a stretch.
    // Each band runs along its highs, then back along its lows.
    const auto check = [&](const std::string& panel, std::size_t band, auto low, auto high) {
      const std::string part = svg.substr(svg.find(panel));
      const Axis y = readAxis(group(part, "<g class=\"y-axis\">"), true);
      const auto corners = points(tags(part, "<polygon ").at(band));
      ASSERT_EQ(corners.size(), 2 * drawn) << panel << band;
      EXPECT_NEAR(corners[drawn - 1].second, y.at(high(chart.turns.back())), 0.02) << panel << band;
      EXPECT_NEAR(corners[drawn].second, y.at(low(chart.turns.back())), 0.02) << panel << band;
      EXPECT_NEAR(corners.back().second, y.at(low(chart.turns.front())), 0.02) << panel << band;
    };
    using P = charts::TurnPoint;
    check(
        "heat-panel", 0, [](const P& p) { return p.p10; }, [](const P& p) { return p.p90; });
    check(
        "heat-panel", 1, [](const P& p) { return p.p25; }, [](const P& p) { return p.p75; });
    check(
        "share-panel", 0, [](const P& p) { return p.overheated.low * 100; },
        [](const P& p) { return p.overheated.high * 100; });
    check(
        "share-panel", 1, [](const P& p) { return p.critical.low * 100; },
        [](const P& p) { return p.critical.high * 100; });
  }
}

TEST(SweepChart, WhiskersSpanTheirIntervalsAtTheirPoints) {
  for (const charts::SweepChart& chart :
       {sweep(3), quarterSweep(), convergingSweep(), byCategory(kEnvironments, 2),
        byCategory({"single", "double"}, 3)}) {
    const std::string svg = render(charts::writeSweepChart, chart);
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">"), true);
    const bool categorical = !chart.xCategories.empty();
    const std::size_t n = chart.series.size();
    // A slot's middle is where its name is; numbers where the axis puts them.
    std::vector<double> slots;
    Axis x{0, 0, 1, 1};
    if (categorical) {
      const std::string axis = group(svg, "<g class=\"x-axis categories\">");
      std::vector<std::string> names = all(axis, "<text [^>]*>([^<]*)<", 1);
      names.pop_back();  // The axis title.
      EXPECT_EQ(names, chart.xCategories);
      for (const std::string& at : all(axis, "<text x=\"([0-9.]+)\"", 1)) {
        slots.push_back(std::stod(at));
      }
      slots.pop_back();
      // The slots share the plot's width out evenly.
      const std::string bottom = all(axis, "<line [^>]*>").back();
      const double slot =
          (attr(bottom, "x2") - attr(bottom, "x1")) / static_cast<double>(names.size());
      for (std::size_t i = 0; i < slots.size(); ++i) {
        EXPECT_NEAR(slots[i], attr(bottom, "x1") + slot * (static_cast<double>(i) + 0.5), 0.02);
      }
    } else {
      x = readAxis(group(svg, "<g class=\"x-axis\">"), false);
    }
    EXPECT_EQ(count(svg, "class=\"series-line\""), categorical ? 0 : n);
    const std::vector<Whisker> drawn = whiskers(svg);
    std::size_t k = 0;
    for (std::size_t s = 0; s < n; ++s) {
      std::vector<charts::SweepPoint> sorted = chart.series[s].points;
      std::sort(sorted.begin(), sorted.end(),
                [](const auto& a, const auto& b) { return a.x < b.x; });
      for (const charts::SweepPoint& p : sorted) {
        ASSERT_LT(k, drawn.size());
        const Whisker& w = drawn[k++];
        EXPECT_NEAR(w.low, y.at(p.everOverheated.low * 100), 0.02) << s << " at " << p.x;
        EXPECT_NEAR(w.high, y.at(p.everOverheated.high * 100), 0.02) << s << " at " << p.x;
        // Series side by side, in their order, around the point's place: in a slot at most
        // 14 px apart, on a numeric axis at most 5.
        const double place = categorical ? slots.at(static_cast<std::size_t>(p.x)) : x.at(p.x);
        const double side = static_cast<double>(s) - static_cast<double>(n - 1) / 2.0;
        EXPECT_LE(std::abs(w.x - place), std::abs(side) * (categorical ? 14.0 : 5.0) + 0.01)
            << s << " at " << p.x;
        EXPECT_GE((w.x - place) * side, side * side * 0.5) << s << " at " << p.x;
      }
    }
    EXPECT_EQ(k, drawn.size());
  }
}

TEST(SweepChart, DifferencesSitUnderTheirSharesOnAnAxisOfTheirOwn) {
  // Differences of 0 and below: 0 still inside the plot.
  for (const charts::SweepChart& chart : {versus(sweep(2)), versus(byCategory(kEnvironments, 2))}) {
    const std::string svg = render(charts::writeSweepChart, chart);
    const std::size_t from = svg.find("<g class=\"difference-panel\">");
    ASSERT_NE(from, std::string::npos);
    const std::string panel = svg.substr(from);
    EXPECT_NE(panel.find(">Δ ever overheated against type single<"), std::string::npos);
    const std::string axis = group(panel, "<g class=\"y-axis\">");
    const Axis y = readAxis(axis, true);
    const double zero = attr(group(panel, "<g class=\"zero-line\">"), "y1");
    EXPECT_NEAR(zero, y.at(0), 0.02);
    const std::string edge = all(axis, "<line [^>]*>").back();  // From the plot's top down.
    EXPECT_GT(zero, attr(edge, "y1") + 5);
    // Each difference's whisker right under its share's.
    const std::vector<Whisker> shares = whiskers(svg.substr(0, from));
    const std::vector<Whisker> drawn = whiskers(panel);
    ASSERT_EQ(drawn.size(), shares.size());
    std::size_t k = 0;
    for (const charts::SweepSeries& series : chart.series) {
      std::vector<charts::SweepPoint> sorted = series.points;
      std::sort(sorted.begin(), sorted.end(),
                [](const auto& a, const auto& b) { return a.x < b.x; });
      for (const charts::SweepPoint& p : sorted) {
        EXPECT_EQ(drawn[k].x, shares[k].x);
        EXPECT_NEAR(drawn[k].low, y.at(p.difference.low * 100), 0.02) << p.x;
        EXPECT_NEAR(drawn[k].high, y.at(p.difference.high * 100), 0.02) << p.x;
        ++k;
      }
    }
  }
  EXPECT_EQ(render(charts::writeSweepChart, sweep(3)).find("difference-panel"), std::string::npos);
}

TEST(SweepChart, PickedLabelsNameTheirSeriesAndKeepClearOfLinesAndWhiskers) {
  struct Case {
    charts::SweepChart chart;
    std::vector<std::string> labels;
    std::size_t leaders;  // Labels that had to move away from their rings.
  };
  const std::vector<Case> cases{
      {convergingSweep(), {"space: 40 → 22.4 %", "water: 40 → 23.9 %"}, 1},
      {sweep(3),
       {"single, &lt;air&gt; 0: 12 → 82 %", "single, &lt;air&gt; 1: 13 → 73 %",
        "single, &lt;air&gt; 2: 14 → 64 %"},
       1},
      {byCategory(kEnvironments, 1), {"space → 70 %"}, 0},  // One series needs no name.
      {byCategory({"single", "double"}, 3), {"type 0: single → 70 %", "type 1: double → 62 %"}, 0},
      // Whiskers long enough to reach the neighbours' labels.
      {longWhiskers(byCategory({"single", "double"}, 3)),
       {"type 0: single → 70 %", "type 1: double → 62 %"},
       0}};
  for (const Case& c : cases) {
    const std::string svg = render(charts::writeSweepChart, c.chart);
    // Each label is a group of its own, with its halo.
    const std::size_t from = svg.find("<g class=\"picked-labels\">");
    const std::string labels = svg.substr(from, svg.find("<g class=\"legend\">", from) - from);
    EXPECT_EQ(all(labels, "<text [^>]*>([^<]*)<", 1), c.labels);
    // A leader starts at the edge of a ring.
    const auto leaders = all(labels, "<line [^>]*>");
    EXPECT_EQ(leaders.size(), c.leaders);
    const auto rings = all(svg, "<circle class=\"picked\"[^>]*>");
    for (const std::string& leader : leaders) {
      EXPECT_TRUE(std::any_of(rings.begin(), rings.end(), [&](const std::string& ring) {
        return std::abs(std::hypot(attr(leader, "x1") - attr(ring, "cx"),
                                   attr(leader, "y1") - attr(ring, "cy")) -
                        10.0) < 0.05;
      })) << leader;
    }
    // What a label must not cover: the series' lines, the limit, the whiskers.
    std::vector<std::pair<std::pair<double, double>, std::pair<double, double>>> segments;
    for (const std::string& line : tags(svg, "<polyline class=\"series-line\"")) {
      const auto corners = points(line);
      for (std::size_t i = 1; i < corners.size(); ++i) {
        segments.emplace_back(corners[i - 1], corners[i]);
      }
    }
    for (const Whisker& w : whiskers(svg)) {
      segments.push_back({{w.x, w.low}, {w.x, w.high}});
    }
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">"), true);
    const double limit = y.at(*c.chart.maxOverheat * 100);
    segments.push_back({{0, limit}, {800, limit}});
    for (const TextBox& box : textBoxes(labels)) {
      for (const auto& [start, end] : segments) {
        for (int step = 0; step <= 100; ++step) {
          const double t = step / 100.0;
          const double px = start.first + t * (end.first - start.first);
          const double py = start.second + t * (end.second - start.second);
          EXPECT_FALSE(px > box.left - 2 && px < box.right && py > box.top && py < box.bottom)
              << box.text << " covers " << px << "," << py;
        }
      }
    }
  }
}

TEST(SweepChart, PickedRingsSitOnTheirValues) {
  const charts::SweepChart chart = sweep(3);
  const std::string svg = render(charts::writeSweepChart, chart);
  const Axis y = readAxis(group(svg, "<g class=\"y-axis\">"), true);
  const auto rings = all(svg, "<circle class=\"picked\"[^>]*>");
  ASSERT_EQ(rings.size(), 3U);
  for (std::size_t s = 0; s < rings.size(); ++s) {
    const double value = 1.0 - 0.09 * (2 + static_cast<double>(s));
    EXPECT_NEAR(attr(rings[s], "cy"), y.at(value * 100), 0.02) << s;
  }
}

TEST(SweepChart, PickedLabelsKeepClearOfEachOther) {
  charts::SweepChart clustered = sweep(4);  // All four pick the same design.
  for (charts::SweepSeries& series : clustered.series) {
    for (charts::SweepPoint& p : series.points) {
      p.picked = p.x == 15;
    }
  }
  const auto labels = all(render(charts::writeSweepChart, clustered),
                          "<text [^>]*>single, &lt;air&gt; [0-3]: 15 → 55 %<");
  ASSERT_EQ(labels.size(), 4U);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    for (std::size_t j = i + 1; j < labels.size(); ++j) {
      const double dx = std::abs(attr(labels[i], "x") - attr(labels[j], "x"));
      const double dy = std::abs(attr(labels[i], "y") - attr(labels[j], "y"));
      EXPECT_TRUE(dx > 50 || dy >= 15) << labels[i] << labels[j];
    }
  }
  // Without free places left, each still gets its label.
  EXPECT_EQ(
      all(render(charts::writeSweepChart, crowdedSweep()), "<text [^>]*>s[0-9]+: [04] → ").size(),
      24U);
}

TEST(RunChart, HeatLineOnAxisAndBarLabelsThinned) {
  struct Case {
    charts::RunChart chart;
    std::string amount;
    std::size_t labels;  // Wide turns have room for every label, narrow ones for none.
  };
  for (const Case& c :
       {Case{run(10), "2 L", 3}, Case{run(1000), "2 L", 0}, Case{hotRun(), "3 L", 27}}) {
    const std::string svg = render(charts::writeRunChart, c.chart);
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">"), true);
    const Axis x = readAxis(group(svg, "<g class=\"x-axis\">"), false);
    const auto heat = points(tags(svg, "<polyline class=\"heat\"").at(0));
    ASSERT_EQ(heat.size(), c.chart.turns.size());
    for (std::size_t i = 0; i < heat.size(); i += 3) {
      EXPECT_NEAR(heat[i].second, y.at(c.chart.turns[i].heat), 0.02);
      EXPECT_NEAR(heat[i].first, x.at(c.chart.turns[i].turn), 0.02);
    }
    const auto labels =
        all(group(svg, "<g class=\"coolant-lane\">"), ("<text [^>]*>" + c.amount).c_str());
    EXPECT_EQ(labels.size(), c.labels) << c.chart.turns.size();
    for (std::size_t i = 1; i < labels.size(); ++i) {
      EXPECT_GT(attr(labels[i], "x") - attr(labels[i - 1], "x"), 18.0) << "labels overlap";
    }
  }
}

TEST(RunChart, EnvironmentLaneNamesWhatFits) {
  const std::string lane =
      group(render(charts::writeRunChart, wanderingRun()), "<g class=\"environment-lane\">");
  const auto stretches = all(lane, "<rect[^>]* height=\"20\"[^>]*>");
  ASSERT_EQ(stretches.size(), 40U);
  EXPECT_NE(stretches[0].find("#dddddd"), std::string::npos) << "the start is not named";
  const auto key = all(lane, "<text x=\"([0-9.]+)\" y=\"[0-9.]+\" font-size=\"12\"", 1);
  ASSERT_GT(key.size(), 2U);
  EXPECT_LT(key.size(), 40U);
  for (const std::string& x : key) {
    EXPECT_LT(std::stod(x), 728.0) << "the key runs off the chart";
  }
}

// Every combination, the last kind varying fastest, as a sweep lists its designs.
std::vector<simulation::Design> grid(const std::vector<int>& heatsinks,
                                     const std::vector<heat::HeatsinkType>& types,
                                     const std::vector<int>& coolants,
                                     const std::vector<heat::Environment>& environments) {
  std::vector<simulation::Design> designs;
  for (const int h : heatsinks) {
    for (const heat::HeatsinkType t : types) {
      for (const int c : coolants) {
        for (const heat::Environment e : environments) {
          designs.emplace_back(heat::MechHeatSystem{});
          designs.back().mech.heatsinkCount = h;
          designs.back().mech.heatsinkType = t;
          designs.back().mech.coolantLiters = c;
          designs.back().mech.setEnvironmentSilently(e);
        }
      }
    }
  }
  return designs;
}

// Each design played by each value of rule `name` in turn.
std::vector<simulation::Design> byRule(const std::vector<simulation::Design>& designs,
                                       std::string_view name,
                                       const std::vector<simulation::RuleValue>& values) {
  std::vector<simulation::Design> played;
  for (const simulation::Design& design : designs) {
    for (const simulation::RuleValue& value : values) {
      played.push_back(design);
      EXPECT_TRUE(simulation::setRule(played.back().rules, *simulation::ruleNamed(name), value));
    }
  }
  return played;
}

TEST(SvgReport, ChartsASweepAlongWhatItVariesMost) {
  using enum heat::HeatsinkType;
  using enum heat::Environment;
  struct Case {
    std::vector<simulation::Design> designs;
    std::string xLabel, by;
    std::vector<std::string> categories, series;
    std::vector<double> firstXs;
  };
  const std::vector<std::string> types = {"single", "double"};
  const std::vector<Case> cases{
      {grid({10}, {Single}, {100}, {Space, Water, HotAir, ColdAir, TemperateAir}),
       "Environment",
       "environment",
       kEnvironments,
       {"single"},
       {0, 1, 2, 3, 4}},
      {grid({10}, {Single, Double}, {100}, {TemperateAir}),
       "Heatsink type",
       "heatsink type",
       types,
       {"temperate air"},
       {0, 1}},
      // Categories in the order the designs first take them.
      {grid({8, 12}, {Single}, {100}, {Water, Space, HotAir}),
       "Environment",
       "environment",
       {"water", "space", "hot air"},
       {"8 heatsinks", "12 heatsinks"},
       {0, 1, 2}},
      {grid({8}, {Single, Double}, {0, 50, 100}, {Space}),
       "Coolant (liters)",
       "coolant",
       {},
       types,
       {0, 50, 100}},
      // As many values: a number before a category, the first number or category before others.
      {grid({8, 12}, {Single}, {0, 50}, {Space}),
       "Heatsinks",
       "heatsinks",
       {},
       {"0 liters", "50 liters"},
       {8, 12}},
      {grid({8, 12}, {Single}, {0}, {Space, Water}),
       "Heatsinks",
       "heatsinks",
       {},
       {"space", "water"},
       {8, 12}},
      {grid({8}, {Single, Double}, {0}, {Space, Water}),
       "Heatsink type",
       "heatsink type",
       types,
       {"space", "water"},
       {0, 1}},
      {grid({8}, {Single, Double}, {0, 5}, {Space}),
       "Coolant (liters)",
       "coolant",
       {},
       types,
       {0, 5}},
      // A rule that differs between designs is a number to draw along, after the mech's.
      {byRule(grid({8, 12}, {Single}, {0}, {Space}), "overheat-above", {40.0, 50.5, 60.0}),
       "overheat-above",
       "overheat-above",
       {},
       {"8 heatsinks", "12 heatsinks"},
       {40, 50.5, 60}},
      {byRule(grid({8, 12}, {Single}, {0}, {Space}), "heat.max",
              {std::int64_t{30}, std::int64_t{69}}),
       "Heatsinks",
       "heatsinks",
       {},
       {"heat.max 30", "heat.max 69"},
       {8, 12}},
      {byRule(grid({8}, {Single}, {0}, {Space}), "environments.space", {1.5F, 2.5F}),
       "environments.space",
       "environments.space",
       {},
       {"single, space"},
       {1.5, 2.5}},
      {byRule(byRule(grid({8}, {Single}, {0}, {Space}), "heat.values",
                     {std::vector<std::int64_t>{10, 50}}),
              "heat.weights", {std::vector<std::int64_t>{1, 3}, std::vector<std::int64_t>{3, 1}}),
       "heat.weights",
       "heat.weights",
       {"heat.weights 1,3", "heat.weights 3,1"},
       {"single, space"},
       {0, 1}}};
  for (const Case& c : cases) {
    const simulation::SweepResult result = simulation::playSweep({c.designs, 5, 200, 2, {}, {}});
    const charts::SweepChart chart = sweepChart(result, {});
    EXPECT_EQ(chart.xLabel, c.xLabel);
    EXPECT_EQ(chart.title, "Ever overheated within 5 turns, by " + c.by);
    EXPECT_EQ(chart.xCategories, c.categories) << c.xLabel;
    std::vector<std::string> labels;
    for (const charts::SweepSeries& series : chart.series) {
      labels.push_back(series.label);
    }
    EXPECT_EQ(labels, c.series) << c.xLabel;
    std::vector<double> xs;
    for (const charts::SweepPoint& point : chart.series.front().points) {
      xs.push_back(point.x);
    }
    EXPECT_EQ(xs, c.firstXs) << c.xLabel;
  }
}

}  // namespace
}  // namespace reports
