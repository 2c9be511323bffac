#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "command_line.hpp"

namespace command_line {
namespace {

// Parses `arguments` as the program's own; a summary of the options read, or
// the error's message.
std::string parsed(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "mech-heat");
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (auto& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const auto result = parse(static_cast<int>(arguments.size()), argv.data());
  if (const auto* error = std::get_if<Error>(&result)) {
    return error->message;
  }
  const auto& options = std::get<Options>(result);
  switch (options.action) {
    case Options::Action::ShowHelp:
      return "help";
    case Options::Action::ShowVersion:
      return "version";
    case Options::Action::Run:
      break;
  }
  const auto& mech = options.mech;
  std::ostringstream summary;
  summary << "seed " << (options.seed ? std::to_string(*options.seed) : "clock") << ", "
          << options.turns << " turns, " << mech.heatsinkCount
          << (mech.heatsinkType == heat::HeatsinkType::Double ? " double" : " single") << ", "
          << mech.coolantLiters << " l, " << heat::traitsOf(mech.environment).optionName << " "
          << mech.baseCoolingFactor << (options.wait ? ", wait" : ", no wait");
  if (options.run) {
    summary << ", run " << *options.run;
  }
  if (options.runs) {
    summary << ", " << *options.runs << " runs on " << options.jobs.value_or(0) << " jobs"
            << (options.json ? " as JSON" : "");
  }
  return summary.str();
}

struct Case {
  std::vector<std::string> arguments;
  std::string expected;
};

TEST(CommandLine, ReadsEveryOptionAndRejectsBadInput) {
  const std::string defaults = "seed clock, 10 turns, 10 single, 100 l, temperate-air 1, wait";
  const std::string seedRange = "expected a whole number from 0 to 4294967295";
  const std::string environments = "expected one of space, water, hot-air, cold-air, temperate-air";
  const Case cases[] = {
      {{}, defaults},
      {{"--seed", "0"}, "seed 0, 10 turns, 10 single, 100 l, temperate-air 1, wait"},
      {{"--seed=4294967295", "--turns", "1000000", "--heatsinks=0", "--double", "--coolant", "0",
        "--environment=space", "--no-wait"},
       "seed 4294967295, 1000000 turns, 0 double, 0 l, space 2, no wait"},
      {{"--turns=1", "--heatsinks", "1000", "--coolant=10000", "--environment", "hot-air"},
       "seed clock, 1 turns, 1000 single, 10000 l, hot-air 0.7, wait"},
      {{"--environment", "water", "--environment", "cold-air", "--seed", "1", "--seed", "2"},
       "seed 2, 10 turns, 10 single, 100 l, cold-air 1.2, wait"},
      {{"--env=water"}, "seed clock, 10 turns, 10 single, 100 l, water 1.3, wait"},
      {{"--runs", "1000000000000", "--jobs=256", "--json"},
       defaults + ", 1000000000000 runs on 256 jobs as JSON"},
      {{"--runs=1", "--jobs", "1"}, defaults + ", 1 runs on 1 jobs"},
      {{"--run", "999999999999"}, defaults + ", run 999999999999"},
      {{"--run=0", "--seed", "3"},
       "seed 3, 10 turns, 10 single, 100 l, temperate-air 1, wait, run 0"},
      {{"--run", "1000000000000"},
       "invalid value '1000000000000' for --run: expected a whole number from 0 to 999999999999"},
      {{"--run", "5", "--runs", "9"}, "options '--run' and '--runs' do not go together"},
      {{"--run", "5", "--json"}, "option '--json' needs --runs"},
      // Help and version end the reading: what follows is not looked at.
      {{"--seed", "3", "--help", "--bogus"}, "help"},
      {{"-h"}, "help"},
      {{"--version", "x"}, "version"},
      // Numbers are plain decimals within their range.
      {{"--seed", "abc"}, "invalid value 'abc' for --seed: " + seedRange},
      {{"--seed", "-1"}, "invalid value '-1' for --seed: " + seedRange},
      {{"--seed", "+1"}, "invalid value '+1' for --seed: " + seedRange},
      {{"--seed", "12x"}, "invalid value '12x' for --seed: " + seedRange},
      {{"--seed", "1e3"}, "invalid value '1e3' for --seed: " + seedRange},
      {{"--seed", "0x10"}, "invalid value '0x10' for --seed: " + seedRange},
      {{"--seed", "1.5"}, "invalid value '1.5' for --seed: " + seedRange},
      {{"--seed", " 12"}, "invalid value ' 12' for --seed: " + seedRange},
      {{"--seed="}, "invalid value '' for --seed: " + seedRange},
      {{"--seed", "4294967296"}, "invalid value '4294967296' for --seed: " + seedRange},
      {{"--seed", "184467440737095516160"},
       "invalid value '184467440737095516160' for --seed: " + seedRange},
      {{"--turns", "0"},
       "invalid value '0' for --turns: expected a whole number from 1 to 1000000"},
      {{"--turns=1000001"},
       "invalid value '1000001' for --turns: expected a whole number from 1 to 1000000"},
      {{"--heatsinks", "1001"},
       "invalid value '1001' for --heatsinks: expected a whole number from 0 to 1000"},
      {{"--coolant", "10001"},
       "invalid value '10001' for --coolant: expected a whole number from 0 to 10000"},
      {{"--environment", "Water"}, "invalid value 'Water' for --environment: " + environments},
      {{"--environment=hot air"}, "invalid value 'hot air' for --environment: " + environments},
      {{"--runs", "0"},
       "invalid value '0' for --runs: expected a whole number from 1 to 1000000000000"},
      {{"--runs", "1000000000001"},
       "invalid value '1000000000001' for --runs: expected a whole number from 1 to 1000000000000"},
      {{"--runs", "9", "--jobs", "257"},
       "invalid value '257' for --jobs: expected a whole number from 1 to 256"},
      {{"--json"}, "option '--json' needs --runs"},
      {{"--jobs", "2"}, "option '--jobs' needs --runs"},
      // Options and arguments that are not the program's.
      {{"--seed"}, "option '--seed' needs a value: a whole number from 0 to 4294967295"},
      {{"--environment"},
       "option '--environment' needs a value: one of space, water, hot-air, "
       "cold-air, temperate-air"},
      {{"--double=1"}, "option '--double' takes no value"},
      {{"--no-wait=yes"}, "option '--no-wait' takes no value"},
      {{"--bogus=1"}, "unknown option '--bogus'"},
      {{"--he"}, "option '--he' is ambiguous"},
      {{"--h=1"}, "option '--h' is ambiguous"},
      {{"--=x"}, "unknown option '--=x'"},
      {{"-x"}, "unknown option '-x'"},
      {{"run"}, "unexpected argument 'run'"},
      {{"--", "--seed"}, "unexpected argument '--seed'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    EXPECT_EQ(parsed(c.arguments), c.expected);
  }
}

}  // namespace
}  // namespace command_line
