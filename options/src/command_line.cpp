#include "options/command_line.hpp"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "options/rules_file.hpp"
#include "reports/summary.hpp"
#include "rule_problems.hpp"
#include "simulation/narrated_run.hpp"
#include "simulation/sweep.hpp"

namespace command_line {
namespace {

// getopt_long's values for the long options, above every character value.
enum OptionId : int {
  kSeed = 256,
  kTurns,
  kHeatsinks,
  kDouble,
  kCoolant,
  kEnvironment,
  kNoWait,
  kHeatsinkType,
  kRuns,
  kRun,
  kJobs,
  kJson,
  kCsv,
  kMargin,
  kMaxOverheat,
  kSvg,
  kRules,
  kRule,
  kPrintRules,
  kVersus,
  kHelp,
  kVersion,
};

constexpr std::array kLongOptions{
    option{"seed", required_argument, nullptr, kSeed},
    option{"turns", required_argument, nullptr, kTurns},
    option{"heatsinks", required_argument, nullptr, kHeatsinks},
    option{"double", no_argument, nullptr, kDouble},
    option{"coolant", required_argument, nullptr, kCoolant},
    option{"environment", required_argument, nullptr, kEnvironment},
    option{"heatsink-type", required_argument, nullptr, kHeatsinkType},
    option{"no-wait", no_argument, nullptr, kNoWait},
    option{"runs", required_argument, nullptr, kRuns},
    option{"run", required_argument, nullptr, kRun},
    option{"jobs", required_argument, nullptr, kJobs},
    option{"json", no_argument, nullptr, kJson},
    option{"csv", no_argument, nullptr, kCsv},
    option{"margin", required_argument, nullptr, kMargin},
    option{"max-overheat", required_argument, nullptr, kMaxOverheat},
    option{"svg", required_argument, nullptr, kSvg},
    option{"rules", required_argument, nullptr, kRules},
    option{"rule", required_argument, nullptr, kRule},
    option{"print-rules", no_argument, nullptr, kPrintRules},
    option{"versus", required_argument, nullptr, kVersus},
    option{"help", no_argument, nullptr, kHelp},
    option{"version", no_argument, nullptr, kVersion},
    option{nullptr, 0, nullptr, 0},
};

struct NumberRange {
  int id;
  std::uint64_t min;
  std::uint64_t max;
};

constexpr std::array kNumberRanges{
    NumberRange{kSeed, 0, std::numeric_limits<std::uint32_t>::max()},
    NumberRange{kTurns, 1, 1'000'000},
    NumberRange{kHeatsinks, 0, 1'000},
    NumberRange{kCoolant, 0, 10'000},
    NumberRange{kRuns, 1, 1'000'000'000'000},
    NumberRange{kRun, 0, 999'999'999'999},
    NumberRange{kJobs, 1, 256},
};

constexpr std::string_view kUsage =
    "Usage: mech-heat [OPTION]...\n"
    "Play one mech's heat budget over random turns: each turn adds heat and may\n"
    "move the mech, draw coolant or damage the heatsinks, then cools it. Every\n"
    "event and rate is narrated, between a status report before the first turn\n"
    "and one after the last.\n"
    "\n"
    "Options:\n"
    "      --seed=N            seed the generator with N (0 to 4294967295) instead\n"
    "                          of the clock; a run seeded with N replays a run\n"
    "                          started when the clock read N seconds\n"
    "      --turns=N           play N turns (1 to 1000000; default 10)\n"
    "      --heatsinks=N       start with N heatsinks (0 to 1000; default 10)\n"
    "      --heatsink-type=T   start with single or double heatsinks (default single)\n"
    "      --double            the same as --heatsink-type=double\n"
    "      --coolant=L         start with L liters of coolant (0 to 10000;\n"
    "                          default 100)\n"
    "      --environment=NAME  start in NAME: space, water, hot-air, cold-air or\n"
    "                          temperate-air (default temperate-air)\n"
    "      --no-wait           do not wait for a key at the end\n"
    "      --run=K             narrate run K (0 to 999999999999) of the batch with\n"
    "                          the seed --seed gives (required), the same on\n"
    "                          every platform\n"
    "\n"
    "A batch of silent runs (any of these, or a sweep, asks for one):\n"
    "      --runs=N            play N runs (1 to 1000000000000); with --margin, at\n"
    "                          most N (default 1000000000)\n"
    "      --margin=E          play runs until every share's 95 % interval lies\n"
    "                          within E of it (a share, 0.005 or 0.5%, at most 0.5),\n"
    "                          and with --versus every difference of shares too\n"
    "      --max-overheat=P    name, for each environment and swept rules, the\n"
    "                          cheapest design whose share ever overheated is at\n"
    "                          most P (0.1 or 10%) by the upper end of its 95 %\n"
    "                          interval\n"
    "      --versus=NAME=VALUE\n"
    "                          compare every design, run by run, with the one that\n"
    "                          differs only in swept NAME, which takes VALUE there\n"
    "                          (heatsink-type=single, heatsinks=10, heat.max=59)\n"
    "      --jobs=N            play on N threads (1 to 256; default: the machine's);\n"
    "                          the summary does not depend on it\n"
    "      --json              print the summary as one JSON object\n"
    "      --csv               print the summary as CSV, a line per design\n"
    "\n"
    "      --svg=FILE          draw a chart of the run, the batch or the sweep into\n"
    "                          FILE, or with - onto standard output instead of the\n"
    "                          narration or the summary\n"
    "\n"
    "Rules, the game's unless changed (--print-rules names and explains each):\n"
    "      --rules=FILE        play by the rules FILE sets, a TOML file such as\n"
    "                          --print-rules writes; it may set only some\n"
    "      --rule=NAME=VALUE   set rule NAME to VALUE, after --rules; a rule's\n"
    "                          values make a sweep, as --heatsinks's do\n"
    "      --print-rules       print the rules in effect as a rules file and exit\n"
    "\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "A sweep: --heatsinks and --coolant take a range A..B, a stepped range\n"
    "A..B/STEP or a list A,B,C, --environment a list or all, --heatsink-type\n"
    "single,double, --rule a whole-number rule's range or list, another's list\n"
    "(heat.values and heat.weights take a list as their one value). Every\n"
    "combination is a design (at most 10000), and every design plays the same\n"
    "runs, so that they differ only by the design.\n"
    "\n"
    "On a terminal the program waits for one key at the end; when its input or\n"
    "output is not a terminal, or it runs in the background, it ends at once. A\n"
    "batch never waits, and shows its progress on standard error when that is a\n"
    "terminal and the batch runs in the foreground.\n"
    "\n"
    "A batch's summary: a row for each turn (at most 20, evenly spaced, the last\n"
    "among them) with the share of runs that were overheated (heat above 60) and\n"
    "that had the critical flag set right after that turn's cooling update, the\n"
    "share whose tank was empty, the share ever overheated by that turn, and the\n"
    "mean heat; each share with the larger side of its 95 % interval (Wilson),\n"
    "the mean with 1.96 standard errors. The critical flag is set above 100 and\n"
    "stays set when the heat falls to 60 or below, until the mech overheats\n"
    "again. Then the shares of runs ever overheated or ever critical, the final\n"
    "heat's mean, median, 90th and 99th percentiles and maximum, and the hottest\n"
    "run with the command that narrates it. A sweep prints a row per design.\n"
    "Heatsink damage has no upper bound: past 100 % the heatsinks heat the mech\n"
    "instead of cooling it, so in long runs more heatsinks can end hotter; the\n"
    "summary says how many runs ended so.\n"
    "With --versus a sweep's table gives, for every design, its share ever\n"
    "overheated and its difference from the baseline's, its share ever critical,\n"
    "and the difference in the mean final heat, in place of the heats' columns:\n"
    "its runs less the baseline's same runs, one by one, with the larger side of\n"
    "a paired 95 % interval (Newcombe's score method for shares, 1.96 standard\n"
    "errors of the differences for heat), narrower than the two designs' own.\n"
    "The JSON object (schemaVersion 4) holds the same: runs, turns, seed, mech,\n"
    "rules (every rule by its name, with the value played), perTurn (every\n"
    "turn: overheated, critical, coolantEmpty, everOverheated, everCritical as\n"
    "shares from 0 to 1, meanHeat, and ci95 with each one's interval),\n"
    "everOverheated, everCritical, damagedOut (runs whose heatsinks\n"
    "ended past 100 % damage), ci95, finalHeat (mean, median,\n"
    "p90, p99, max) and hottestRun (run, finalHeat); a sweep's object has a\n"
    "batch's object for each design in designs, with --versus its versus (design,\n"
    "the index of its baseline, and the difference with its ci95 of\n"
    "everOverheated, everCritical, overheated and finalHeat).\n"
    "\n"
    "Examples:\n"
    "  mech-heat --seed 42\n"
    "      replay the run of seed 42, the same every time\n"
    "\n"
    "  mech-heat --seed 7 --double --environment water\n"
    "      a mech with double heatsinks that starts in water\n"
    "\n"
    "  mech-heat --runs 100000 --heatsinks 12 --turns 20\n"
    "      how often a mech with 12 heatsinks overheats within 20 turns\n"
    "\n"
    "  mech-heat --seed 42 --run 81713 --heatsinks 12 --turns 20\n"
    "      narrate run 81713 of that batch with seed 42\n"
    "\n"
    "  mech-heat --runs 100000 --heatsinks 8..40/4 --heatsink-type single,double \\\n"
    "            --max-overheat 10%\n"
    "      the fewest heatsinks, single before double, that keep the mech from ever\n"
    "      overheating in 9 of 10 runs\n"
    "\n"
    "  mech-heat --margin 0.5% --heatsinks 12\n"
    "      as many runs as it takes to know every share to within half a percent\n"
    "\n"
    "  mech-heat --runs 100000 --rule heat.max=50..70/10 --rule cooling.single=1.5\n"
    "      how often the mech overheats when a turn adds at most 50, 60 or 70 heat\n"
    "      and each heatsink sheds 1.5\n"
    "\n"
    "  mech-heat --heatsinks 8..40/8 --heatsink-type single,double \\\n"
    "            --versus heatsink-type=single\n"
    "      what double heatsinks are worth at each count, run by run\n";

constexpr std::string_view kVersionText = "mech-heat " MECH_HEAT_VERSION "\n";

const option* longOption(int id) {
  return std::to_address(std::ranges::find(kLongOptions, id, &option::val));
}

std::string spelling(int id) { return std::string{"--"} + longOption(id)->name; }

// The options whose values may be a list or a range: each value makes designs.
bool sweepable(int id) {
  return id == kHeatsinks || id == kCoolant || id == kEnvironment || id == kHeatsinkType;
}

std::string rangeText(int id) {
  const auto* range = std::to_address(std::ranges::find(kNumberRanges, id, &NumberRange::id));
  return "a whole number from " + std::to_string(range->min) + " to " + std::to_string(range->max);
}

std::string namesText(std::string_view first, const std::vector<std::string_view>& names) {
  std::string text{first};
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? " " : i + 1 == names.size() ? " or " : ", ") + std::string{names[i]};
  }
  return text;
}

std::vector<std::string_view> environmentNames() {
  std::vector<std::string_view> names;
  names.reserve(heat::kEnvironments.size() + 1);
  for (const auto& known : heat::kEnvironments) {
    names.push_back(known.optionName);
  }
  names.emplace_back("all");
  return names;
}

// The values an option takes, in words.
std::string allowedValues(int id) {
  switch (id) {
    case kEnvironment:
      return namesText("a list of", environmentNames());
    case kHeatsinkType:
      return "single, double or single,double";
    case kMargin:
      return "a share above 0 and at most 0.5, such as 0.005 or 0.5%";
    case kMaxOverheat:
      return "a share from 0 to 1, such as 0.1 or 10%";
    case kSvg:
      return "a file name, or - for standard output";
    case kRules:
      return "a file name";
    case kRule:
      return "NAME=VALUE, a rule's name (see --print-rules) and its value";
    case kVersus:
      return "NAME=VALUE, a swept axis (heatsinks, heatsink-type, coolant, environment or a "
             "swept rule) and one of its values";
    case kHeatsinks:
    case kCoolant:
      return rangeText(id) + ", a range A..B or A..B/STEP, or a list A,B,C";
    default:
      return rangeText(id);
  }
}

Error invalidValue(int id, std::string_view value) {
  return Error{"invalid value '" + std::string{value} + "' for " + spelling(id) + ": expected " +
               allowedValues(id)};
}

// A plain decimal number within the option's range: no sign, no spaces, no
// other base, nothing after it.
std::optional<std::uint64_t> wholeNumber(int id, std::string_view text) {
  const auto* range = std::to_address(std::ranges::find(kNumberRanges, id, &NumberRange::id));
  std::uint64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || value < range->min || value > range->max) {
    return std::nullopt;
  }
  return value;
}

// A decimal number as std::from_chars reads it in `format`, all of the text:
// fixed, without sign or exponent ("12", "0.5", ".5", "5."), or general,
// with a minus sign and an exponent too ("-1.5e-3"); never "inf" or "nan".
std::optional<double> decimalNumber(std::string_view text, std::chars_format format) {
  const bool fixed = format == std::chars_format::fixed;
  const std::string_view allowed = fixed ? "0123456789." : "0123456789.eE+-";
  if (text.empty() || text.front() == '+' || (fixed && text.front() == '-') ||
      text.find_first_not_of(allowed) != std::string_view::npos) {
    return std::nullopt;
  }
#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 200000
  // libc++ before 20 (the web page's) reads no double with std::from_chars:
  // the same characters, read by std::strtod, which rounds them alike.
  const std::string digits{text};
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(digits.c_str(), &stop);
  if (errno == ERANGE || stop != digits.c_str() + digits.size()) {
    return std::nullopt;
  }
  return value;
#else
  double value = 0.0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, format);
  if (error != std::errc{} || stop != end) {
    return std::nullopt;
  }
  return value;
#endif
}

// A share written as a fraction ("0.005") or a percentage ("0.5%"), from 0
// (or above 0 when `aboveZero`) to `most`.
std::optional<double> shareValue(std::string_view text, double most, bool aboveZero) {
  const bool percent = text.ends_with('%');
  if (percent) {
    text.remove_suffix(1);
  }
  auto value = decimalNumber(text, std::chars_format::fixed);
  if (!value) {
    return std::nullopt;
  }
  *value = percent ? *value / 100.0 : *value;
  if (*value > most || (aboveZero && *value == 0.0)) {
    return std::nullopt;
  }
  return value;
}

// The items of a comma-separated list; an empty item is an error.
std::optional<std::vector<std::string_view>> listItems(std::string_view text) {
  std::vector<std::string_view> items;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma - start);
    if (item.empty()) {
      return std::nullopt;
    }
    items.push_back(item);
    if (comma == std::string_view::npos) {
      return items;
    }
    start = comma + 1;
  }
}

// The numbers "A", "A,B,C", "A..B" or "A..B/STEP" stand for, each read by
// `read`; of a range at most `most` + 1, so that more tell a longer range.
template <typename Read>
std::optional<std::vector<std::int64_t>> numberList(std::string_view text, const Read& read,
                                                    std::uint64_t most) {
  std::vector<std::int64_t> values;
  const std::size_t dots = text.find("..");
  if (dots == std::string_view::npos) {
    const auto items = listItems(text);
    if (!items) {
      return std::nullopt;
    }
    for (const std::string_view item : *items) {
      const auto number = read(item);
      if (!number) {
        return std::nullopt;
      }
      values.push_back(*number);
    }
    return values;
  }
  const std::string_view rest = text.substr(dots + 2);
  const std::size_t slash = rest.find('/');
  const auto first = read(text.substr(0, dots));
  const auto last = read(rest.substr(0, slash));
  const auto step = slash == std::string_view::npos ? std::optional<std::int64_t>{1}
                                                    : read(rest.substr(slash + 1));
  if (!first || !last || !step || *first > *last || *step <= 0) {
    return std::nullopt;
  }
  // Counted without overflow, however far apart the ends.
  const std::uint64_t count =
      (static_cast<std::uint64_t>(*last) - static_cast<std::uint64_t>(*first)) /
          static_cast<std::uint64_t>(*step) +
      1;
  for (std::uint64_t entry = 0; entry < std::min(count, most + 1); ++entry) {
    values.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(*first) +
                                               entry * static_cast<std::uint64_t>(*step)));
  }
  return values;
}

// The numbers of an option's value, each within the option's range.
std::optional<std::vector<std::int32_t>> numberValues(int id, std::string_view text) {
  const auto read = [id](std::string_view item) -> std::optional<std::int64_t> {
    const auto number = wholeNumber(id, item);
    if (!number) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(*number);
  };
  const auto values = numberList(text, read, std::numeric_limits<std::uint64_t>::max() - 1);
  if (!values) {
    return std::nullopt;
  }
  return std::vector<std::int32_t>(values->begin(), values->end());
}

std::optional<std::vector<heat::Environment>> environmentValues(std::string_view text) {
  if (text == "all") {
    std::vector<heat::Environment> all;
    all.reserve(heat::kEnvironments.size());
    for (const auto& known : heat::kEnvironments) {
      all.push_back(known.environment);
    }
    return all;
  }
  const auto items = listItems(text);
  if (!items) {
    return std::nullopt;
  }
  std::vector<heat::Environment> environments;
  for (const std::string_view item : *items) {
    const auto environment = heat::environmentNamed(item);
    if (!environment) {
      return std::nullopt;
    }
    environments.push_back(*environment);
  }
  return environments;
}

std::optional<std::vector<heat::HeatsinkType>> heatsinkTypeValues(std::string_view text) {
  const auto items = listItems(text);
  if (!items) {
    return std::nullopt;
  }
  std::vector<heat::HeatsinkType> types;
  for (const std::string_view item : *items) {
    if (item != "single" && item != "double") {
      return std::nullopt;
    }
    types.push_back(item == "double" ? heat::HeatsinkType::Double : heat::HeatsinkType::Single);
  }
  return types;
}

// The first of `values` that an earlier one repeats, if any; in n log n
// steps, as a rule may be given 10000 values.
template <typename Value>
const Value* repeated(const std::vector<Value>& values) {
  std::set<Value> seen;
  for (const Value& value : values) {
    if (!seen.insert(value).second) {
      return &value;
    }
  }
  return nullptr;
}

// A whole number in decimal, with or without a minus sign, all of the text.
std::optional<std::int64_t> signedWhole(std::string_view text) {
  std::int64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end) {
    return std::nullopt;
  }
  return value;
}

// How --rule writes a value of a rule of `type`.
std::string_view ruleSyntax(simulation::RuleType type) {
  switch (type) {
    case simulation::RuleType::Whole:
      return "a whole number, a range A..B or A..B/STEP, or a list A,B,C";
    case simulation::RuleType::WholeList:
      return "a list A,B,C of whole numbers, or nothing";
    default:
      return "a number, or a list A,B,C";
  }
}

// The values --rule's VALUE gives a rule of `type`: each of a list or a
// range; a list of whole numbers is one value.
std::optional<std::vector<simulation::RuleValue>> ruleValues(simulation::RuleType type,
                                                             std::string_view text) {
  std::vector<simulation::RuleValue> values;
  if (type == simulation::RuleType::Whole) {
    const auto wholes = numberList(text, signedWhole, simulation::kMaxDesigns);
    if (!wholes) {
      return std::nullopt;
    }
    values.assign(wholes->begin(), wholes->end());
    return values;
  }
  auto items = listItems(text);
  if (text.empty() && type == simulation::RuleType::WholeList) {
    items.emplace();  // no heats and no weights: the rule unset
  }
  if (!items) {
    return std::nullopt;
  }
  std::vector<std::int64_t> list;
  for (const std::string_view item : *items) {
    if (type == simulation::RuleType::WholeList) {
      const auto whole = signedWhole(item);
      if (!whole) {
        return std::nullopt;
      }
      list.push_back(*whole);
      continue;
    }
    const auto number = decimalNumber(item, std::chars_format::general);
    if (!number) {
      return std::nullopt;
    }
    values.push_back(type == simulation::RuleType::Factor
                         ? simulation::RuleValue{static_cast<float>(*number)}
                         : simulation::RuleValue{*number});
  }
  if (type == simulation::RuleType::WholeList) {
    values.emplace_back(std::move(list));
  }
  return values;
}

// A rule --rule sets: its values, and the text that gave them.
struct GivenRule {
  std::size_t rule;
  std::vector<simulation::RuleValue> values;
  std::string text;
};

// Reads --rule's NAME=VALUE; an error when the rule is unknown or a value
// not one it takes.
std::variant<GivenRule, Error> givenRule(std::string_view argument) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string_view::npos) {
    return invalidValue(kRule, argument);
  }
  const std::string_view name = argument.substr(0, equals);
  const std::string_view text = argument.substr(equals + 1);
  const auto rule = simulation::ruleNamed(name);
  if (!rule) {
    return Error{"unknown rule '" + std::string{name} + "' (see --print-rules)"};
  }
  const simulation::RuleType type = simulation::kRuleNames.at(*rule).type;
  const auto values = ruleValues(type, text);
  const std::string invalid =
      "invalid value '" + std::string{text} + "' for --rule " + std::string{name} + ": ";
  if (!values) {
    return Error{invalid + "expected " + std::string{ruleSyntax(type)}};
  }
  if (values->size() > simulation::kMaxDesigns) {
    return Error{invalid + "more than " + std::to_string(simulation::kMaxDesigns) + " values"};
  }
  if (const simulation::RuleValue* twice = repeated(*values)) {
    return Error{invalid + simulation::ruleText(*twice) + " is given twice"};
  }
  for (const simulation::RuleValue& value : *values) {
    simulation::Rules rules;
    if (!simulation::setRule(rules, *rule, value)) {
      return Error{invalid + ruleBounds(*rule)};
    }
  }
  return GivenRule{*rule, *values, std::string{text}};
}

// The message for what getopt_long rejected. `argument` is the word it was
// reading; `optopt` names the option, or is 0 for an unknown long one.
Error rejected(int optionValue, std::string_view argument) {
  if (optionValue >= kSeed && longOption(optionValue)->has_arg == no_argument) {
    return Error{"option '" + spelling(optionValue) + "' takes no value"};
  }
  if (optionValue >= kSeed) {
    return Error{"option '" + spelling(optionValue) +
                 "' needs a value: " + allowedValues(optionValue)};
  }
  if (optionValue != 0) {
    return Error{"unknown option '-" + std::string(1, static_cast<char>(optionValue)) + "'"};
  }
  // The option's name ends at an '=' after its first letter.
  const std::string_view name = argument.substr(0, argument.find('=', 3));
  const auto matches = std::ranges::count_if(kLongOptions, [&](const option& candidate) {
    return candidate.name != nullptr &&
           std::string_view{candidate.name}.starts_with(name.substr(2));
  });
  if (matches > 1) {
    return Error{"option '" + std::string{name} + "' is ambiguous"};
  }
  return Error{"unknown option '" + std::string{name} + "'"};
}

// A value of a list as the option spells it.
std::string spelled(std::int32_t number) { return std::to_string(number); }
std::string spelled(heat::Environment environment) {
  return std::string{heat::traitsOf(environment).optionName};
}
std::string spelled(heat::HeatsinkType type) {
  return type == heat::HeatsinkType::Double ? "double" : "single";
}

// Stores `values` when there are some, each once; an error naming the value
// or the repeated item otherwise.
template <typename Value>
std::optional<Error> store(std::vector<Value>& into,
                           const std::optional<std::vector<Value>>& values, int id,
                           std::string_view value) {
  if (!values) {
    return invalidValue(id, value);
  }
  if (const Value* twice = repeated(*values)) {
    return Error{"invalid value '" + std::string{value} + "' for " + spelling(id) + ": " +
                 spelled(*twice) + " is given twice"};
  }
  into = *values;
  return std::nullopt;
}

std::optional<Error> applyShare(std::optional<double>& into, int id, std::string_view value) {
  const bool margin = id == kMargin;
  into = shareValue(value, margin ? 0.5 : 1.0, margin);
  if (!into) {
    return invalidValue(id, value);
  }
  return std::nullopt;
}

// Applies one option with its value; an error when the value is not one it takes.
std::optional<Error> apply(Options& options, int id, std::string_view value) {
  if (id == kSvg) {
    if (value.empty()) {
      return invalidValue(id, value);
    }
    options.svg = std::string{value};
    return std::nullopt;
  }
  const bool many = value.find(',') != std::string_view::npos ||
                    value.find("..") != std::string_view::npos || value == "all";
  if (many && !sweepable(id)) {
    return Error{"option '" + spelling(id) + "' takes one value, not a list or a range"};
  }
  switch (id) {
    case kHeatsinks:
      return store(options.heatsinks, numberValues(id, value), id, value);
    case kCoolant:
      return store(options.coolant, numberValues(id, value), id, value);
    case kEnvironment:
      return store(options.environments, environmentValues(value), id, value);
    case kHeatsinkType:
      return store(options.heatsinkTypes, heatsinkTypeValues(value), id, value);
    case kMargin:
    case kMaxOverheat:
      return applyShare(id == kMargin ? options.margin : options.maxOverheat, id, value);
    default:
      break;
  }
  const auto number = wholeNumber(id, value);
  if (!number) {
    return invalidValue(id, value);
  }
  switch (id) {
    case kSeed:
      options.seed = static_cast<std::uint32_t>(*number);
      break;
    case kTurns:
      options.turns = static_cast<int>(*number);
      break;
    case kRuns:
      options.runs = *number;
      break;
    case kRun:
      options.run = *number;
      break;
    default:  // kJobs
      options.jobs = static_cast<unsigned>(*number);
      break;
  }
  return std::nullopt;
}

// Why a batch or sweep could not be played within kMemoryBudget, in words
// that say how much it could take and what to lower.
std::optional<Error> memoryShortfall(const simulation::SweepSettings& settings) {
  std::uint64_t bytes = simulation::sweepMemory(settings) + reports::reportMemory(settings);
  // Every design holds its rules, their heats and weights too.
  for (const simulation::Design& design : settings.designs) {
    bytes +=
        (design.rules.heatValues.size() + design.rules.heatWeights.size()) * sizeof(std::int32_t);
  }
  if (bytes <= kMemoryBudget) {
    return std::nullopt;
  }
  constexpr double kGigabyte = 1e9;
  std::ostringstream text;
  text << std::fixed << std::setprecision(1) << "this could take "
       << static_cast<double>(bytes) / kGigabyte << " GB of memory, more than the "
       << static_cast<double>(kMemoryBudget) / kGigabyte << " GB a batch may: lower the designs ("
       << settings.designs.size() << ") or the turns (" << settings.turns << ")";
  return Error{text.str()};
}

Error together(std::string_view first, std::string_view second) {
  return Error{"options '" + std::string{first} + "' and '" + std::string{second} +
               "' do not go together"};
}

// What does not go with --run, if anything.
std::optional<Error> runConflict(const Options& options, std::uint64_t designs) {
  if (!options.run) {
    return std::nullopt;
  }
  if (options.runs) {
    return together("--run", "--runs");
  }
  if (options.margin) {
    return together("--run", "--margin");
  }
  if (options.maxOverheat) {
    return together("--run", "--max-overheat");
  }
  if (designs > 1) {
    return Error{"option '--run' narrates a run of one design, not of a sweep"};
  }
  if (!options.seed) {
    return Error{"option '--run' needs --seed: a run of a batch is replayed from its seed"};
  }
  return std::nullopt;
}

// Every set of rules the designs play, the swept rules varying as
// Options::designs() says.
std::vector<simulation::Rules> ruleSets(const Options& options) {
  std::vector<simulation::Rules> sets(1, options.rules);
  for (const RuleSweep& sweep : options.ruleSweeps) {
    std::vector<simulation::Rules> swept;
    swept.reserve(sets.size() * sweep.values.size());
    for (const simulation::Rules& rules : sets) {
      for (const simulation::RuleValue& value : sweep.values) {
        swept.push_back(rules);
        static_cast<void>(simulation::setRule(swept.back(), sweep.rule, value));
      }
    }
    sets = std::move(swept);
  }
  return sets;
}

// How many designs the options make; the most a count holds when they
// make more.
std::uint64_t designCount(const Options& options) {
  std::uint64_t count = options.heatsinks.size() * options.heatsinkTypes.size() *
                        options.coolant.size() * options.environments.size();
  for (const RuleSweep& sweep : options.ruleSweeps) {
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    count = count > most / sweep.values.size() ? most : count * sweep.values.size();
  }
  return count;
}

// The rules before --rule: `start`, then --rules. Sets each --rule of one
// value on top of them into options.rules, the others into ruleSweeps.
std::variant<simulation::Rules, Error> applyRules(Options& options, const simulation::Rules& start,
                                                  const std::optional<std::string>& file,
                                                  const std::vector<GivenRule>& given) {
  auto before = file ? readRulesFile(*file, start) : std::variant<simulation::Rules, Error>{start};
  if (const auto* error = std::get_if<Error>(&before)) {
    return *error;
  }
  options.rules = std::get<simulation::Rules>(before);
  for (const GivenRule& entry : given) {
    if (entry.values.size() == 1) {
      static_cast<void>(simulation::setRule(options.rules, entry.rule, entry.values.front()));
    } else {
      options.ruleSweeps.push_back({entry.rule, entry.values});
    }
  }
  return before;
}

// What is wrong with the rules of a design, if anything: the first out of
// bounds, blamed on the --rule that made it so.
std::optional<Error> rulesConflict(const Options& options, const simulation::Rules& before,
                                   const std::vector<GivenRule>& given) {
  std::vector<std::size_t> changed;
  changed.reserve(given.size());
  for (const GivenRule& entry : given) {
    changed.push_back(entry.rule);
  }
  for (const simulation::Rules& rules : ruleSets(options)) {
    const auto problem = simulation::rulesProblem(rules);
    if (!problem) {
      continue;
    }
    const auto blame = blamed(before, rules, changed, *problem);
    const std::string message =
        problemText(rules, *problem, blame ? std::optional{changed[*blame]} : std::nullopt);
    if (!blame) {
      return Error{"invalid rules: " + message};
    }
    const GivenRule& culprit = given[*blame];
    // A value of a sweep is named with the sweep.
    std::string text = "invalid value '";
    if (culprit.values.size() > 1) {
      text.append(simulation::ruleText(simulation::ruleValue(rules, culprit.rule)))
          .append("' in '");
    }
    text.append(culprit.text).append("' for --rule ");
    text.append(simulation::kRuleNames.at(culprit.rule).name).append(": ").append(message);
    return Error{text};
  }
  return std::nullopt;
}

// The options of --print-rules, which prints one set of rules whatever the
// others, unless --rule gives a rule more than one value or the rules are
// out of bounds.
std::variant<Options, Error> printing(const Options& options, const simulation::Rules& before,
                                      const std::vector<GivenRule>& given) {
  if (!options.ruleSweeps.empty()) {
    return Error{"option '--print-rules' prints one set of rules, not a sweep of --rule " +
                 std::string{simulation::kRuleNames.at(options.ruleSweeps.front().rule).name}};
  }
  if (auto conflict = rulesConflict(options, before, given)) {
    return *std::move(conflict);
  }
  return options;
}

// --versus's value spelled as its axis spells its values, if it is one
// value of the axis.
std::optional<std::string> versusValue(const std::string& axis, std::string_view value) {
  const auto one = [](const auto& values) -> std::optional<std::string> {
    if (!values || values->size() != 1) {
      return std::nullopt;
    }
    return spelled(values->front());  // GCOVR_EXCL_BR_LINE: the string's clean-up
  };
  if (axis == "heatsinks") {
    return one(numberValues(kHeatsinks, value));
  }
  if (axis == "heatsink-type") {
    return one(heatsinkTypeValues(value));
  }
  if (axis == "coolant") {
    return one(numberValues(kCoolant, value));
  }
  if (axis == "environment") {
    return one(environmentValues(value));
  }
  const auto given = givenRule(axis + "=" + std::string{value});
  const auto* rule = std::get_if<GivenRule>(&given);
  if (rule == nullptr || rule->values.size() != 1) {
    return std::nullopt;
  }
  return reports::ruleArgument(rule->values.front());
}

// The designs --versus compares, or what is wrong with it.
std::variant<simulation::Versus, Error> versusOf(const Options& options, std::size_t designs) {
  const std::string& argument = *options.versus;
  const std::size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    return invalidValue(kVersus, argument);
  }
  const std::string name = argument.substr(0, equals);
  const std::string value = argument.substr(equals + 1);
  const std::vector<Options::Axis> axes = options.sweptAxes();
  const auto axis = std::ranges::find(axes, name, &Options::Axis::name);
  if (axis == axes.end()) {
    std::string swept;
    for (const Options::Axis& each : axes) {
      swept.append(swept.empty() ? "" : ", ").append(each.name);
    }
    std::string listed = "nothing is swept";
    if (!swept.empty()) {
      listed = "swept: " + swept;
    }
    // GCOVR_EXCL_BR_START: the strings' clean-up
    return Error{"option '--versus' compares designs along a swept axis, and '" + name +
                 "' is not one (" + listed + ")"};
    // GCOVR_EXCL_BR_STOP
  }
  const std::optional<std::string> spelling = versusValue(name, value);
  const auto found = spelling ? std::ranges::find(axis->values, *spelling) : axis->values.end();
  if (found == axis->values.end()) {
    constexpr std::size_t kMostNamed = 10;
    std::string values;
    for (const std::string& each : axis->values) {
      values.append(values.empty() ? "" : ", ").append(each);
    }
    if (axis->values.size() > kMostNamed) {
      values = "one of its " + std::to_string(axis->values.size()) + " values";
    }
    return Error{"invalid value '" + value + "' for --versus " + name + ": expected " + values};
  }
  // Designs vary the later axes faster: an axis's value changes every
  // `stride` designs.
  std::size_t stride = 1;
  for (auto later = axis + 1; later != axes.end(); ++later) {
    stride *= later->values.size();
  }
  const auto baselineValue = static_cast<std::size_t>(found - axis->values.begin());
  simulation::Versus versus{name, *found, {}};  // GCOVR_EXCL_BR_LINE: the strings' clean-up
  versus.baselines.reserve(designs);
  for (std::size_t design = 0; design < designs; ++design) {
    const std::size_t own = design / stride % axis->values.size();
    versus.baselines.push_back(design - own * stride + baselineValue * stride);
  }
  return versus;
}

// What is wrong with --versus, if anything.
std::optional<Error> versusConflict(const Options& options, std::uint64_t designs) {
  if (!options.versus) {
    return std::nullopt;
  }
  auto versus = versusOf(options, static_cast<std::size_t>(designs));
  if (auto* error = std::get_if<Error>(&versus)) {
    return *error;
  }
  return std::nullopt;
}

// Where the rules come from: those parse was given, --rules and each --rule.
struct RuleSources {
  const simulation::Rules& start;
  std::optional<std::string> file;
  std::vector<GivenRule> given;
};

// The options read, unless arguments are left over, the rules cannot be
// read or are out of bounds, or options were given that do not go together.
std::variant<Options, Error> finished(Options options, std::span<char*> arguments, int firstLeft,
                                      const RuleSources& sources) {
  if (static_cast<std::size_t>(firstLeft) < arguments.size()) {
    return Error{"unexpected argument '" +
                 std::string{arguments[static_cast<std::size_t>(firstLeft)]} + "'"};
  }
  const auto before = applyRules(options, sources.start, sources.file, sources.given);
  if (const auto* error = std::get_if<Error>(&before)) {
    return *error;
  }
  const auto& rulesBefore = std::get<simulation::Rules>(before);
  if (options.action == Options::Action::PrintRules) {
    return printing(options, rulesBefore, sources.given);
  }
  const std::uint64_t designs = designCount(options);
  if (designs > simulation::kMaxDesigns) {
    // The most a count holds stands for more.
    std::string count = "countless";
    if (designs < std::numeric_limits<std::uint64_t>::max()) {
      count = std::to_string(designs);
    }
    return Error{"the sweep has " + count + " designs, more than " +
                 std::to_string(simulation::kMaxDesigns)};
  }
  if (auto conflict = rulesConflict(options, rulesBefore, sources.given)) {
    return *std::move(conflict);
  }
  if (auto conflict = versusConflict(options, designs)) {
    return *std::move(conflict);
  }
  if (auto conflict = runConflict(options, designs)) {
    return *std::move(conflict);
  }
  if (options.svg == "-" && options.format != Options::Format::Text) {
    return together("--svg -", options.format == Options::Format::Json ? "--json" : "--csv");
  }
  if (!options.batch() && (options.jobs || options.format != Options::Format::Text)) {
    const int id = options.jobs ? kJobs : options.format == Options::Format::Json ? kJson : kCsv;
    return Error{"option '" + spelling(id) + "' needs a batch: --runs, --margin or a sweep"};
  }
  if (options.batch()) {
    if (auto shortfall = memoryShortfall(options.sweepSettings())) {
      return *std::move(shortfall);
    }
  }
  return options;
}

}  // namespace

std::vector<Options::Axis> Options::sweptAxes() const {
  std::vector<Axis> axes;
  const auto add = [&](std::string name, const auto& values) {
    if (values.size() > 1) {
      Axis& axis = axes.emplace_back(Axis{std::move(name), {}});
      for (const auto& value : values) {
        axis.values.push_back(spelled(value));
      }
    }
  };  // GCOVR_EXCL_BR_LINE: the name's clean-up
  for (const RuleSweep& sweep : ruleSweeps) {
    Axis& axis =
        axes.emplace_back(Axis{std::string{simulation::kRuleNames.at(sweep.rule).name}, {}});
    for (const simulation::RuleValue& value : sweep.values) {
      axis.values.push_back(reports::ruleArgument(value));
    }
  }
  add("heatsinks", heatsinks);
  add("heatsink-type", heatsinkTypes);
  add("coolant", coolant);
  add("environment", environments);
  return axes;
}

std::vector<simulation::Design> Options::designs() const {
  std::vector<simulation::Design> all;
  for (const simulation::Rules& played : ruleSets(*this)) {
    for (const std::int32_t count : heatsinks) {
      for (const heat::HeatsinkType type : heatsinkTypes) {
        for (const std::int32_t liters : coolant) {
          for (const heat::Environment environment : environments) {
            heat::MechHeatSystem mech;
            mech.heatsinkCount = count;
            mech.heatsinkType = type;
            mech.coolantLiters = liters;
            // Silently: the first status report shows where the mech starts.
            mech.setEnvironmentSilently(environment, played.cooling);
            all.emplace_back(mech, played);
          }
        }
      }
    }
  }
  return all;
}

bool Options::batch() const {
  return runs || margin || maxOverheat || heatsinks.size() > 1 || heatsinkTypes.size() > 1 ||
         coolant.size() > 1 || environments.size() > 1 || !ruleSweeps.empty();
}

simulation::SweepSettings Options::sweepSettings() const {
  std::vector<simulation::Design> all = designs();
  std::optional<simulation::Versus> compared;
  if (versus) {
    compared = std::get<simulation::Versus>(versusOf(*this, all.size()));
  }
  return {.designs = std::move(all),
          .turns = turns,
          .runs = runs.value_or(margin ? kDefaultMostRuns : kDefaultRuns),
          .seed = seed.value_or(simulation::clockSeed()),
          .margin = margin,
          .versus = std::move(compared)};
}

std::variant<Options, Error> parse(int argc, char* argv[], const simulation::Rules& start) {
  const std::span arguments{argv, static_cast<std::size_t>(argc)};
  Options options;
  RuleSources rules{start, std::nullopt, {}};
  bool json = false;
  bool csv = false;
  optind = 0;  // a fresh scan, also when called again
  opterr = 0;  // errors are reported by the caller, in this program's words
  for (;;) {
    const int id = getopt_long(argc, argv, ":h", kLongOptions.data(), nullptr);
    switch (id) {
      case -1:
        if (json && csv) {
          return Error{"options '--csv' and '--json' do not go together"};
        }
        options.format = json  ? Options::Format::Json
                         : csv ? Options::Format::Csv
                               : Options::Format::Text;
        return finished(options, arguments, optind, rules);
      case ':':
      case '?':
        return rejected(optopt, arguments[static_cast<std::size_t>(optind - 1)]);
      case 'h':
      case kHelp:
        options.action = Options::Action::ShowHelp;
        return options;
      case kVersion:
        options.action = Options::Action::ShowVersion;
        return options;
      case kDouble:
        options.heatsinkTypes = {heat::HeatsinkType::Double};
        break;
      case kNoWait:
        options.wait = false;
        break;
      case kJson:
        json = true;
        break;
      case kCsv:
        csv = true;
        break;
      case kPrintRules:
        options.action = Options::Action::PrintRules;
        break;
      case kRules:
        if (*optarg == '\0') {
          return invalidValue(kRules, optarg);
        }
        rules.file = optarg;
        break;
      case kVersus:
        options.versus = optarg;
        break;
      case kRule: {
        auto given = givenRule(optarg);
        if (const auto* error = std::get_if<Error>(&given)) {
          return *error;
        }
        // A later --rule of the same rule takes the place of the earlier.
        std::erase_if(rules.given, [&](const GivenRule& earlier) {
          return earlier.rule == std::get<GivenRule>(given).rule;
        });
        rules.given.push_back(std::get<GivenRule>(std::move(given)));
        break;
      }
      default:
        if (auto error = apply(options, id, optarg)) {
          return *error;
        }
        break;
    }
  }
}

std::string_view usage() { return kUsage; }

std::string_view version() { return kVersionText; }

}  // namespace command_line
