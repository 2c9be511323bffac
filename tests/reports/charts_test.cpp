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
#include <utility>
#include <vector>

#include "reports/charts.hpp"
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
  return {std::stod(labels.front()), pixels.front(), std::stod(labels[pixels.size() - 1]),
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
  const auto labels = all(render(charts::writeSweepChart, clustered), "<text [^>]*>15 → 55 %<");
  ASSERT_EQ(labels.size(), 4U);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    for (std::size_t j = i + 1; j < labels.size(); ++j) {
      const double dx = std::abs(attr(labels[i], "x") - attr(labels[j], "x"));
      const double dy = std::abs(attr(labels[i], "y") - attr(labels[j], "y"));
      EXPECT_TRUE(dx > 50 || dy >= 15) << labels[i] << labels[j];
    }
  }
  // Without free places left, each still gets its label.
  EXPECT_EQ(all(render(charts::writeSweepChart, crowdedSweep()), "<text [^>]*>[04] → ").size(),
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

}  // namespace
}  // namespace reports
