#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include "changed_rules.hpp"
#include "options/rules_file.hpp"

namespace command_line {
namespace {

// The rules a text gives, as those it changes, or its error.
std::string read(const std::string& text, const simulation::Rules& start = {}) {
  const auto rules = readRules("f.toml", text, start);
  if (const auto* error = std::get_if<Error>(&rules)) {
    return error->message;
  }
  return "rules" + changedRules(std::get<simulation::Rules>(rules));
}

std::string repeated(std::string_view text, std::size_t times) {
  std::string all;
  for (std::size_t time = 0; time < times; ++time) {
    all += text;
  }
  return all;
}

TEST(RulesFile, ReadsTheRulesItSetsAndPointsAtWhatIsWrong) {
  const std::string heatMax = "heat.max must be a whole number from heat.min to 10000";
  const std::string weights =
      "heat.weights must be a list of whole numbers from 0 to 1000000, one for each of "
      "heat.values, adding up to 1 to 1000000";
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases{
      {"", "rules"},
      {"# nothing\n\n[heat]\n", "rules"},
      {"[heat]\nmax = 80\nmin = 5 # comment\n", "rules heat.min=5 heat.max=80"},
      {"overheat-above = 70\ncritical-above = 1.5e2\n[cooling]\nsingle = 0.5\ndouble = 3\n",
       "rules cooling.single=0.5 cooling.double=3 overheat-above=70 critical-above=150"},
      {"heat.max = 80\nenvironments = {space = 3, water = 0.25}\n",
       "rules heat.max=80 environments.space=3 environments.water=0.25"},
      {"'heat'.\"damage-above\" = -1\n\"heat\".values = [0, 10000]\nheat.weights = [1, 0]\n",
       "rules heat.values=[0, 10000] heat.weights=[1, 0] heat.damage-above=-1"},
      // What is not a rule, at its key.
      {"[heat]\nmx = 1\n", "f.toml:2:1: unknown rule 'heat.mx'"},
      {"[heats]\nmax = 1\n", "f.toml:1:2: unknown rule 'heats'"},
      {"heat = 5\n", "f.toml:1:1: unknown rule 'heat'"},
      {"\"heat.max\" = 5\n", "f.toml:1:1: unknown rule '\"heat.max\"'"},
      {"[heat]\n"
       R"("a \"b\\\u0001\u007f" = 1)",
       R"(f.toml:2:1: unknown rule 'heat."a \"b\\\u0001\u007f"')"},
      {"\"\" = 1\n", "f.toml:1:1: unknown rule '\"\"'"},
      {"[hea]\nmax = 1\n", "f.toml:1:2: unknown rule 'hea'"},
      {"[heat.sub]\n", "f.toml:1:7: unknown rule 'heat.sub'"},
      {"[heat]\n" + repeated("k", 41) + " = 1\n",
       "f.toml:2:1: unknown rule 'heat." + repeated("k", 40) + "...'"},
      {"\"" + repeated("k", 39) + "\u00e9\" = 1\n",
       "f.toml:1:1: unknown rule '\"" + repeated("k", 39) + "...\"'"},
      // The first thing wrong as the file goes, not as the keys sort.
      {"[heat]\nzz = 1\nmax = 1.5\n", "f.toml:2:1: unknown rule 'heat.zz'"},
      // A value of another type, or out of bounds, at the value.
      {"[heat]\nmax = 1.5\n", "f.toml:2:7: " + heatMax},
      {"[heat]\nmax = \"80\"\n", "f.toml:2:7: " + heatMax},
      {"[heat]\nmax = 10001\n", "f.toml:2:7: " + heatMax},
      {"[heat]\nmax = 99999999999\n", "f.toml:2:7: " + heatMax},
      {"[heat.max]\n", "f.toml:1:1: " + heatMax},
      {"[heat]\nvalues = [1, 2.5]\n",
       "f.toml:2:10: heat.values must be a list of at most 10000 whole numbers from 0 to 10000"},
      {"[heat]\nvalues = 5\n",
       "f.toml:2:10: heat.values must be a list of at most 10000 whole numbers from 0 to 10000"},
      {"[cooling]\nsingle = true\n",
       "f.toml:2:10: cooling.single must be a number from 0 to 1000000"},
      {"overheat-above = nan\n",
       "f.toml:1:18: overheat-above must be a number from 0 to 1000000000"},
      {"[environments]\nwater = 0\n",
       "f.toml:2:9: environments.water must be a number above 0 and at most 1000"},
      // A rule out of bounds because of another: at the other when it was not set.
      {"[heat]\nmax = 30\nmin = 40\n", "f.toml:2:7: " + heatMax},
      {"[heat]\nmin = 70\n", "f.toml:2:7: " + heatMax + " (heat.max is 59)"},
      {"[heat]\nmin = 70\n[liters]\nmin = 50\n[cooling]\nsingle = 5\n",
       "f.toml:2:7: " + heatMax + " (heat.max is 59)"},
      {"[heat]\nvalues = [1, 2]\n", "f.toml:2:10: " + weights + " (heat.weights is [])"},
      // Characters other than ASCII where toml++ asks whether they are spaces
      // (toml++ 3.3 on its own reaches __builtin_unreachable for these).
      {"\xEF\xBB\xBF# \u00e9\n[heat] # \u01bb\nmin = 1\n", "rules heat.min=1"},
      {"[heat]\nmin = 1\u01bb\n",
       "f.toml:2:8: Error while parsing decimal integer: expected digit, saw '\u01bb'"},
      {"heap.max = 8'\u00f8\n",
       "f.toml:1:13: Error while parsing decimal integer: expected digit, saw '''"},
      {"x = \"\"\"a\\  \n \n \u00e9\"\"\"\n", "f.toml:1:1: unknown rule 'x'"},
      {"x = '''a'''", "f.toml:1:1: unknown rule 'x'"},
      {"x = \"\"\"\\\u00e9\"\"\"\n",
       "f.toml:1:9: Error while parsing string: unknown escape sequence '\\\u00e9'"},
      // TOML's own errors.
      {"[heat]\nmax = 5\nmax = 6\n",
       "f.toml:3:7: Error while parsing key-value pair: cannot redefine existing integer 'max'"},
      {"[heat", "f.toml:1:6: Error while parsing table header: encountered end-of-file"},
      {"heat.max = t\n",
       "f.toml:1:13: Error while parsing boolean: expected 'true', saw 't\\u000a'"},
      // Dots outside comments and strings, each a level of tables, are counted.
      {repeated("a.", 1000) + "a = 1\n", "f.toml:1:1: unknown rule 'a'"},
      {"# a comment\n" + repeated("a.", 1001) + "a = 1\n",
       "f.toml:2:2002: more than 1000 dots outside comments and strings"},
      {"x = \"a\n" + repeated("a.", 1001) + "a = 1\n",
       "f.toml:1:7: Error while parsing string: unescaped control characters other than TAB "
       "(U+0009) "
       "are explicitly prohibited"},
      {repeated("a.", 1001) + "a = 1\n",
       "f.toml:1:2002: more than 1000 dots outside comments and strings"},
      {"# " + repeated(".", 1001) + "\n'" + repeated(".", 1001) + "' = 1\n",
       "f.toml:2:1: unknown rule '\"" + repeated(".", 40) + "...\"'"},
      {R"(x = "\")" + repeated(".", 1001) +
           "\"\n"
           R"(y = """\""")" +
           repeated(".", 1001) + "\n\"\"\"\"\"\nz = '''''" + repeated(".", 1001) + "\n'''''\n" +
           repeated("a.", 999) + "a = 1\n",
       "f.toml:1:1: unknown rule 'x'"},
      {R"(x = {a = """b"""", )" + repeated("k.", 1001) + "k = 1}\n",
       "f.toml:1:2021: more than 1000 dots outside comments and strings"},
      {"x = '''\n'''\n" + repeated(".", 1001),
       "f.toml:3:1001: more than 1000 dots outside "
       "comments and strings"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 200));
    EXPECT_EQ(read(c.text), c.expected);
  }
  // Rules out of bounds before the file, which does not mend them.
  simulation::Rules broken;
  broken.heatMax = -1;
  EXPECT_EQ(read("[heat]\nmin = 0\n", broken), "f.toml: " + heatMax + " (heat.max is -1)");
  EXPECT_EQ(read("[heat]\nmax = 9\n", broken), "rules heat.max=9");
}

TEST(RulesFile, PrintsRulesThatReadBackAsTheyWere) {
  // Every rule changed, each once: a rule the printer left out would come back as the game's.
  const std::vector<simulation::RuleValue> changed{
      std::int64_t{3},
      std::int64_t{70},
      std::vector<std::int64_t>{4, 9},
      std::vector<std::int64_t>{1, 2},
      std::int64_t{-1},
      std::int64_t{0},
      std::int64_t{10000},
      std::int64_t{-1},
      std::int64_t{4},
      std::int64_t{100},
      0.1,
      -0.0,
      1e6,
      1e-7,
      123456789.123,
      3.0F,
      1000.0F,
      std::numeric_limits<float>::denorm_min(),
      7.038531e-26F,  // the one float whose shortest text reads as a double that narrows to another
      0.7F,
  };
  ASSERT_EQ(changed.size(), simulation::kRuleNames.size());
  simulation::Rules all;
  for (std::size_t rule = 0; rule < changed.size(); ++rule) {
    ASSERT_TRUE(simulation::setRule(all, rule, changed[rule])) << rule;
  }
  const std::string text = printRules(all);
  const auto back = readRules("printed.toml", text);
  ASSERT_TRUE(std::holds_alternative<simulation::Rules>(back)) << std::get<Error>(back).message;
  EXPECT_EQ(std::get<simulation::Rules>(back), all) << text;
  EXPECT_EQ(printRules(std::get<simulation::Rules>(back)), text);
  // -0.0 keeps its sign.
  EXPECT_NE(text.find("\nsingle = -0.0\n"), std::string::npos);
  // The game's rules, each key with its meaning; heat.values and heat.weights unset.
  const std::string game = printRules({});
  EXPECT_EQ(std::get<simulation::Rules>(readRules("game.toml", game)), simulation::Rules{});
  const std::string overheat =
      "\n# the heat level above which a mech is overheated, 0 to 1000000000\n"
      "overheat-above = 60.0\n";
  for (const std::string& line :
       {overheat, std::string{"\n[heat]\n# the least heat a turn adds, 0 to 10000\nmin = 0\n"},
        std::string{"\nvalues = []\n"}, std::string{"\n[environments]\n"},
        std::string{"\ntemperate-air = 1.0\n"}}) {
    EXPECT_NE(game.find(line), std::string::npos) << line;
  }
}

TEST(RulesFile, ReadsAFileOfAtMostAMegabyte) {
  const auto folder = std::filesystem::path{testing::TempDir()} / "rules_file_test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream{folder / name, std::ios::binary} << text;
    return (folder / name).string();
  };
  const std::string full = std::string(kMostRulesBytes - 13, ' ') + "\nheat.max = 9";
  const auto rules = readRulesFile(write("full.toml", full));
  ASSERT_TRUE(std::holds_alternative<simulation::Rules>(rules));
  EXPECT_EQ(std::get<simulation::Rules>(rules).heatMax, 9);
  const std::string cannot = "cannot read rules " + folder.string();
  for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
           {write("over.toml", full + " "),
            cannot + "/over.toml: it holds more than 1000000 bytes"},
           {write("huge.toml", std::string(2 * kMostRulesBytes, ' ')),
            cannot + "/huge.toml: it holds more than 1000000 bytes"},
           {folder.string(), cannot + ": Is a directory"},
           {(folder / "none.toml").string(), cannot + "/none.toml: No such file or directory"},
           {write("bad.toml", "[heat]\nmax = -1\n"),
            folder.string() +
                "/bad.toml:2:7: heat.max must be a whole number from heat.min to 10000"},
       }) {
    const auto refused = readRulesFile(path);
    ASSERT_TRUE(std::holds_alternative<Error>(refused)) << path;
    EXPECT_EQ(std::get<Error>(refused).message, expected);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace command_line
