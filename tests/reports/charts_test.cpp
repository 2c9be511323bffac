#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <locale>
#include <regex>
#include <sstream>

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

double attr(const std::string& tag, const std::string& name) {
  std::smatch m;
  const std::regex re(" " + name + "=\"([^\"]*)\"");
  return std::regex_search(tag, m, re) ? std::stod(m[1]) : std::nan("");
}

std::vector<std::string> all(const std::string& text, const std::string& pattern,
                             std::size_t part = 0) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    found.push_back((*it)[part]);
  }
  return found;
}

// Reads an axis from its own tick lines and tick labels, to map data values to pixels.
struct Axis {
  double v0, p0, v1, p1;
  double at(double v) const { return p0 + (v - v0) * (p1 - p0) / (v1 - v0); }
};
Axis readAxis(const std::string& axisGroup, bool vertical) {
  std::vector<double> pixels;
  for (const std::string& tag : all(axisGroup, "<line[^>]*>")) {
    const bool isTick =
        vertical ? attr(tag, "y1") == attr(tag, "y2") : attr(tag, "x1") == attr(tag, "x2");
    if (isTick) pixels.push_back(attr(tag, vertical ? "y1" : "x1"));
  }
  const std::vector<std::string> labels = all(axisGroup, "<text[^>]*>([^<]*)</text>", 1);
  EXPECT_GE(pixels.size(), 2u);
  EXPECT_GE(labels.size(), pixels.size());
  if (pixels.size() < 2 || labels.size() < pixels.size()) return {0, 0, 1, 1};
  return {std::stod(labels.front()), pixels.front(), std::stod(labels[pixels.size() - 1]),
          pixels.back()};
}

std::vector<std::pair<double, double>> points(const std::string& polylineTag) {
  std::vector<std::pair<double, double>> result;
  std::smatch m;
  std::regex_search(polylineTag, m, std::regex("points=\"([^\"]*)\""));
  std::istringstream in(m[1]);
  double x = 0, y = 0;
  char comma = 0;
  while (in >> x >> comma >> y) result.emplace_back(x, y);
  return result;
}

bool parsesAsXml(const std::string& svg) {
  if (std::system("python3 -c \"pass\"") != 0) return true;  // No parser on this machine.
  const auto path = std::filesystem::temp_directory_path() / "charts_test_check.svg";
  std::ofstream(path, std::ios::binary) << svg;
  const std::string command =
      "python3 -c \"import sys,xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])\" \"" +
      path.string() + "\"";
  return std::system(command.c_str()) == 0;
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
  for (int b = 0; b < 20; ++b)
    chart.finalHeat.push_back({b * 10.0, b * 10.0 + 10, 0.05, 1 - b * 0.05});
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
    for (int x = 10; x <= 20; ++x) {
      const double v = 1.0 - 0.09 * (x - 10);
      series.points.push_back({double(x), {v, v - 0.03, v + 0.03}, x == 12 + s % 3});
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

TEST(FormatNumber, FixedAtMostTwoDecimalsNoNegativeZero) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.0, "0"},       {-0.0, "0"},        {-0.004, "0"},       {2.5, "2.5"},
      {10.0, "10"},     {0.999, "1"},       {3.14159, "3.14"},   {-12.346, "-12.35"},
      {1e6, "1000000"}, {0.1 + 0.2, "0.3"}, {std::nan(""), "0"}, {1.0 / 0.0, "0"}};
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(svg::formatNumber(value), expected) << value;
}

TEST(Escape, MarkupCharactersAndForbiddenControls) {
  EXPECT_EQ(svg::escape("a<b & \"c\" 'd' >"), "a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;");
  EXPECT_EQ(svg::escape("tab\there\x01\x1f"), "tab\there");
  EXPECT_EQ(svg::escape("h\u00e9at"), "h\u00e9at");  // UTF-8 passes through.
}

TEST(Writer, NestsAndEscapesAttributes) {
  std::ostringstream out;
  {
    svg::Writer w(out);
    w.open("svg", {{"a", "x\"<y"}, {"n", 1.5}});
    w.text("text", {}, "1 < 2");
    w.empty("rect", {{"w", -0.001}});
  }  // The destructor closes <svg>.
  EXPECT_EQ(out.str(),
            "<svg a=\"x&quot;&lt;y\" n=\"1.5\">\n<text>1 &lt; 2</text>\n<rect w=\"0\"/>\n</svg>\n");
}

TEST(NiceTicks, RoundStepsCoveringTheRange) {
  struct Case {
    double low, high;
    int maxTicks;
    double step, first, last;
  };
  const std::vector<Case> cases = {{0, 100, 5, 20, 0, 100},     {0, 7.3, 5, 2, 0, 8},
                                   {1, 1000, 10, 100, 0, 1000}, {13, 87, 4, 20, 0, 100},
                                   {-35, 12, 5, 10, -40, 20},   {0, 0.042, 5, 0.01, 0, 0.05},
                                   {5, 5, 4, 0.5, 4.5, 5.5},    {1, 10, 10, 1, 1, 10}};
  for (const Case& c : cases) {
    const charts::Ticks t = charts::niceTicks(c.low, c.high, c.maxTicks);
    EXPECT_DOUBLE_EQ(t.step, c.step) << c.low << ".." << c.high;
    EXPECT_DOUBLE_EQ(t.values.front(), c.first) << c.low << ".." << c.high;
    EXPECT_NEAR(t.values.back(), c.last, 1e-9) << c.low << ".." << c.high;
  }
}

struct ChartCase {
  std::string name;
  std::function<std::string()> svg;
};

std::vector<ChartCase> chartCases() {
  return {{"batch30", [] { return render(charts::writeBatchChart, batch(30)); }},
          {"batch1", [] { return render(charts::writeBatchChart, batch(1)); }},
          {"batch1000", [] { return render(charts::writeBatchChart, batch(1000)); }},
          {"batchEmpty", [] { return render(charts::writeBatchChart, charts::BatchChart{}); }},
          {"sweep12", [] { return render(charts::writeSweepChart, sweep(12)); }},
          {"sweepEmpty", [] { return render(charts::writeSweepChart, charts::SweepChart{}); }},
          {"run10", [] { return render(charts::writeRunChart, run(10)); }},
          {"run1000", [] { return render(charts::writeRunChart, run(1000)); }},
          {"runEmpty", [] { return render(charts::writeRunChart, charts::RunChart{}); }}};
}

TEST(Charts, SelfContainedParseableSvg) {
  for (const ChartCase& c : chartCases()) {
    const std::string svg = c.svg();
    EXPECT_TRUE(parsesAsXml(svg)) << c.name;
    EXPECT_TRUE(std::regex_search(svg, std::regex("<svg xmlns=\"http://www.w3.org/2000/svg\" "
                                                  "viewBox=\"0 0 800 [0-9]+\"")))
        << c.name;
    EXPECT_NE(svg.find("<title>"), std::string::npos) << c.name;
    EXPECT_TRUE(std::regex_search(svg, std::regex("<desc>[^<]{20,}</desc>"))) << c.name;
    for (const char* banned : {"<script", "href", "@import", "url("}) {
      EXPECT_EQ(svg.find(banned), std::string::npos) << c.name << " has " << banned;
    }
    EXPECT_EQ(svg, c.svg()) << c.name << " is not deterministic";
  }
}

TEST(Charts, DescriptionGivesKeyNumbers) {
  const std::string svg = render(charts::writeBatchChart, batch(30));
  const std::string desc = svg.substr(svg.find("<desc>"), svg.find("</desc>") - svg.find("<desc>"));
  EXPECT_NE(desc.find("median heat is 300"), std::string::npos) << desc;
  EXPECT_NE(desc.find("30 % of runs are overheated"), std::string::npos) << desc;
  EXPECT_NE(desc.find("Turns &amp; runs."), std::string::npos) << desc;
}

TEST(Charts, NumbersIgnoreTheStreamLocale) {
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::ostringstream out;
  out.imbue(std::locale(std::locale::classic(), new Comma));
  charts::writeBatchChart(out, batch(30));
  EXPECT_EQ(out.str(), render(charts::writeBatchChart, batch(30)));
}

TEST(BatchChart, MedianAndAtLeastLinesSitOnTheirAxes) {
  for (int turns : {1, 30, 1000}) {
    const charts::BatchChart chart = batch(turns);
    const std::string svg = render(charts::writeBatchChart, chart);
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">", "heat-panel"), true);
    const Axis x = readAxis(group(svg, "<g class=\"x-axis\">", "heat-panel"), false);
    const auto median = points(all(svg, "<polyline class=\"median\"[^>]*>").at(0));
    ASSERT_GE(median.size(), 2u);
    const std::size_t last = median.size() - 1;
    EXPECT_NEAR(median[last].second, y.at(chart.turns.back().p50), 0.02) << turns;
    if (turns > 1) {
      EXPECT_NEAR(median[last].first, x.at(chart.turns.back().turn), 0.02) << turns;
    }
    EXPECT_GT(median[last].first - median[0].first, 5.0) << "a single turn must stay visible";

    const Axis right = readAxis(group(svg, "<g class=\"y-axis-right\">", "final-panel"), true);
    const auto atLeast = points(all(svg, "<polyline class=\"at-least\"[^>]*>").at(0));
    ASSERT_EQ(atLeast.size(), chart.finalHeat.size());
    for (std::size_t i = 0; i < atLeast.size(); i += 7) {
      EXPECT_NEAR(atLeast[i].second, right.at(chart.finalHeat[i].shareAtLeast * 100), 0.02);
    }
  }
}

TEST(Charts, TurnAxesShowWholeTurns) {
  for (const std::string& svg :
       {render(charts::writeBatchChart, batch(1)), render(charts::writeBatchChart, batch(4)),
        render(charts::writeRunChart, run(1))}) {
    const auto labels = all(group(svg, "<g class=\"x-axis\">"), "<text[^>]*>([^<]*)</text>", 1);
    ASSERT_GE(labels.size(), 2u);
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
  ASSERT_EQ(rings.size(), 3u);
  for (std::size_t s = 0; s < rings.size(); ++s) {
    const double value = 1.0 - 0.09 * (2 + static_cast<double>(s));
    EXPECT_NEAR(attr(rings[s], "cy"), y.at(value * 100), 0.02) << s;
  }
}

TEST(RunChart, HeatLineOnAxisAndBarLabelsThinned) {
  struct Case {
    int turns;
    std::size_t coolantLabels;
  };
  for (const Case c : {Case{10, 3}, Case{1000, 0}}) {
    const charts::RunChart chart = run(c.turns);
    const std::string svg = render(charts::writeRunChart, chart);
    const Axis y = readAxis(group(svg, "<g class=\"y-axis\">"), true);
    const Axis x = readAxis(group(svg, "<g class=\"x-axis\">"), false);
    const auto heat = points(all(svg, "<polyline class=\"heat\"[^>]*>").at(0));
    ASSERT_EQ(heat.size(), chart.turns.size());
    for (std::size_t i = 0; i < heat.size(); i += 3) {
      EXPECT_NEAR(heat[i].second, y.at(chart.turns[i].heat), 0.02) << c.turns;
      EXPECT_NEAR(heat[i].first, x.at(chart.turns[i].turn), 0.02) << c.turns;
    }
    const std::string lane = group(svg, "<g class=\"coolant-lane\">");
    EXPECT_EQ(all(lane, ">2 L</text>").size(), c.coolantLabels) << c.turns;
  }
}

}  // namespace
}  // namespace reports
