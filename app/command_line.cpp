#include "command_line.hpp"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <system_error>

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
  kRuns,
  kRun,
  kJobs,
  kJson,
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
    option{"no-wait", no_argument, nullptr, kNoWait},
    option{"runs", required_argument, nullptr, kRuns},
    option{"run", required_argument, nullptr, kRun},
    option{"jobs", required_argument, nullptr, kJobs},
    option{"json", no_argument, nullptr, kJson},
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
    "      --double            start with double heatsinks (default single)\n"
    "      --coolant=L         start with L liters of coolant (0 to 10000;\n"
    "                          default 100)\n"
    "      --environment=NAME  start in NAME: space, water, hot-air, cold-air or\n"
    "                          temperate-air (default temperate-air)\n"
    "      --no-wait           do not wait for a key at the end\n"
    "      --runs=N            play N silent runs (1 to 1000000000000) and print\n"
    "                          a summary of them (see below)\n"
    "      --run=K             narrate run K (0 to 999999999999) of the batch with\n"
    "                          the seed, the same on every platform\n"
    "      --jobs=N            play a batch's runs on N threads (1 to 256; default:\n"
    "                          the machine's); the summary does not depend on it\n"
    "      --json              print a batch's summary as one JSON object\n"
    "  -h, --help              show this help and exit\n"
    "      --version           show the version and exit\n"
    "\n"
    "On a terminal the program waits for one key at the end; when its input or\n"
    "output is not a terminal, or it runs in the background, it ends at once. A\n"
    "batch never waits, and shows its progress on standard error when that is a\n"
    "terminal and the batch runs in the foreground.\n"
    "\n"
    "A batch's summary: a row for each turn (at most 20, evenly spaced, the last\n"
    "among them) with the share of runs that were overheated (heat above 60) and\n"
    "that had the critical flag set right after that turn's cooling update, the\n"
    "share whose tank was empty, and the mean heat; the critical flag is set\n"
    "above 100 and stays set when the heat falls to 60 or below, until the mech\n"
    "overheats again. Then the shares of runs that were ever overheated or ever\n"
    "critical, the final heat's mean, median, 90th and 99th percentiles and\n"
    "maximum, and the hottest run with the command that narrates it. The JSON\n"
    "object holds the same: runs, turns, seed, mech, perTurn (every turn:\n"
    "overheated, critical, coolantEmpty, meanHeat, shares from 0 to 1),\n"
    "everOverheated, everCritical, finalHeat (mean, median, p90, p99, max) and\n"
    "hottestRun (run, finalHeat).\n"
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
    "      narrate run 81713 of that batch with seed 42\n";

constexpr std::string_view kVersionText = "mech-heat " MECH_HEAT_VERSION "\n";

const option* longOption(int id) { return std::ranges::find(kLongOptions, id, &option::val); }

std::string spelling(int id) { return std::string{"--"} + longOption(id)->name; }

// The values an option takes, in words.
std::string allowedValues(int id) {
  if (id == kEnvironment) {
    std::string names;
    for (const auto& known : heat::kEnvironments) {
      names += (names.empty() ? "one of " : ", ") + std::string{known.optionName};
    }
    return names;
  }
  const auto* range = std::ranges::find(kNumberRanges, id, &NumberRange::id);
  return "a whole number from " + std::to_string(range->min) + " to " + std::to_string(range->max);
}

Error invalidValue(int id, std::string_view value) {
  return Error{"invalid value '" + std::string{value} + "' for " + spelling(id) + ": expected " +
               allowedValues(id)};
}

// A plain decimal number within the option's range: no sign, no spaces, no
// other base, nothing after it.
std::optional<std::uint64_t> wholeNumber(int id, std::string_view text) {
  const auto* range = std::ranges::find(kNumberRanges, id, &NumberRange::id);
  std::uint64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || value < range->min || value > range->max) {
    return std::nullopt;
  }
  return value;
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

// Applies one option with its value; an error when the value is not one it takes.
std::optional<Error> apply(Options& options, int id, std::string_view value) {
  if (id == kEnvironment) {
    const auto environment = heat::environmentNamed(value);
    if (!environment) {
      return invalidValue(id, value);
    }
    // Silently: the first status report shows where the mech starts.
    options.mech.setEnvironmentSilently(*environment);
    return std::nullopt;
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
    case kHeatsinks:
      options.mech.heatsinkCount = static_cast<std::int32_t>(*number);
      break;
    case kRuns:
      options.runs = *number;
      break;
    case kRun:
      options.run = *number;
      break;
    case kJobs:
      options.jobs = static_cast<unsigned>(*number);
      break;
    default:  // kCoolant
      options.mech.coolantLiters = static_cast<std::int32_t>(*number);
      break;
  }
  return std::nullopt;
}

// The options read, unless arguments are left over or a batch's option was
// given without a batch.
std::variant<Options, Error> finished(const Options& options, std::span<char*> arguments,
                                      int firstLeft) {
  if (static_cast<std::size_t>(firstLeft) < arguments.size()) {
    return Error{"unexpected argument '" +
                 std::string{arguments[static_cast<std::size_t>(firstLeft)]} + "'"};
  }
  if (!options.runs && (options.jobs || options.json)) {
    return Error{"option '" + spelling(options.json ? kJson : kJobs) + "' needs --runs"};
  }
  if (options.runs && options.run) {
    return Error{"options '--run' and '--runs' do not go together"};
  }
  return options;
}

}  // namespace

std::variant<Options, Error> parse(int argc, char* argv[]) {
  const std::span arguments{argv, static_cast<std::size_t>(argc)};
  Options options;
  optind = 0;  // a fresh scan, also when called again
  opterr = 0;  // errors are reported by the caller, in this program's words
  for (;;) {
    const int id = getopt_long(argc, argv, ":h", kLongOptions.data(), nullptr);
    switch (id) {
      case -1:
        return finished(options, arguments, optind);
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
        options.mech.heatsinkType = heat::HeatsinkType::Double;
        break;
      case kNoWait:
        options.wait = false;
        break;
      case kJson:
        options.json = true;
        break;
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
