#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "changed_rules.hpp"
#include "options/command_line.hpp"

namespace command_line {
namespace {

// The rules that differ from the game's, each swept rule's values and, of a
// sweep of rules, every design's: the swept rules' values, its heatsinks and
// its environment's cooling factor.
std::string rulesSummary(const Options& options) {
  std::ostringstream summary;
  const auto joined = [](const auto& values, const auto& text) {
    std::string list;
    for (const auto& value : values) {
      list.append(list.empty() ? "" : ",").append(text(value));
    }
    return list;
  };
  if (const std::string rules = changedRules(options.rules); !rules.empty()) {
    summary << ", rules" << rules;
  }
  for (const RuleSweep& sweep : options.ruleSweeps) {
    summary << ", swept " << simulation::kRuleNames.at(sweep.rule).name << "="
            << joined(sweep.values, simulation::ruleText);
  }
  if (!options.ruleSweeps.empty()) {
    summary << ":";
    for (const simulation::Design& design : options.designs()) {
      summary << " "
              << joined(
                     options.ruleSweeps,
                     [&](const RuleSweep& sweep) {
                       return simulation::ruleText(simulation::ruleValue(design.rules, sweep.rule));
                     })
              << "/" << design.mech.heatsinkCount << "/" << design.mech.baseCoolingFactor;
    }
  }
  return summary.str();
}

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
    case Options::Action::PrintRules:
      return "print rules" + changedRules(options.rules);
    case Options::Action::Run:
      break;
  }
  const auto joined = [](const auto& values, const auto& text) {
    std::string list;
    for (const auto& value : values) {
      if (!list.empty()) {
        list += ',';
      }
      list += text(value);
    }
    return list;
  };
  const auto number = [](std::int32_t value) { return std::to_string(value); };
  const heat::MechHeatSystem first = options.designs().front().mech;
  std::ostringstream summary;
  summary << "seed " << (options.seed ? std::to_string(*options.seed) : "clock") << ", "
          << options.turns << " turns, " << joined(options.heatsinks, number) << " "
          << joined(options.heatsinkTypes,
                    [](heat::HeatsinkType type) {
                      return std::string{type == heat::HeatsinkType::Double ? "double" : "single"};
                    })
          << ", " << joined(options.coolant, number) << " l, "
          << joined(options.environments,
                    [](heat::Environment environment) {
                      return std::string{heat::traitsOf(environment).optionName};
                    })
          << " " << first.baseCoolingFactor << (options.wait ? ", wait" : ", no wait");
  if (options.run) {
    summary << ", run " << *options.run;
  }
  if (options.batch()) {
    summary << ", " << options.designs().size() << " designs, "
            << (options.runs ? std::to_string(*options.runs) : "?") << " runs on "
            << options.jobs.value_or(0) << " jobs";
  }
  if (options.margin) {
    summary << ", margin " << *options.margin;
  }
  if (options.maxOverheat) {
    summary << ", at most " << *options.maxOverheat;
  }
  summary << (options.format == Options::Format::Json  ? " as JSON"
              : options.format == Options::Format::Csv ? " as CSV"
                                                       : "");
  summary << rulesSummary(options);
  if (const auto versus = options.sweepSettings().versus) {
    summary << ", versus " << versus->axis << " " << versus->value << ": "
            << joined(versus->baselines, [](std::size_t index) { return std::to_string(index); });
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
  const std::string environments =
      "expected a list of space, water, hot-air, cold-air, temperate-air or all";
  const std::string heatsinkValues =
      "expected a whole number from 0 to 1000, a range A..B or A..B/STEP, or a list A,B,C";
  const std::string marginValues =
      "expected a share above 0 and at most 0.5, such as 0.005 or 0.5%";
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
       defaults + ", 1 designs, 1000000000000 runs on 256 jobs as JSON"},
      {{"--runs=1", "--jobs", "1", "--csv"}, defaults + ", 1 designs, 1 runs on 1 jobs as CSV"},
      // Sweeps: ranges, stepped ranges, lists, every environment.
      {{"--heatsinks", "8..12", "--double", "--coolant=0,50,100"},
       "seed clock, 10 turns, 8,9,10,11,12 double, 0,50,100 l, temperate-air 1, wait, "
       "15 designs, ? runs on 0 jobs"},
      {{"--heatsinks=8..40/16", "--heatsink-type", "single,double", "--environment", "all"},
       "seed clock, 10 turns, 8,24,40 single,double, 100 l, "
       "space,water,hot-air,cold-air,temperate-air 2, wait, 30 designs, ? runs on 0 jobs"},
      {{"--coolant", "0..10000/10000", "--environment", "water,space", "--heatsink-type=double"},
       "seed clock, 10 turns, 10 double, 0,10000 l, water,space 1.3, wait, 4 designs, ? runs on "
       "0 jobs"},
      {{"--heatsinks", "0..999", "--coolant", "0..9"},
       "seed clock, 10 turns, " +
           [] {
             std::string all;
             for (int count = 0; count < 1000; ++count) {
               all += std::to_string(count) + ",";
             }
             all.pop_back();
             return all;
           }() +
           " single, 0,1,2,3,4,5,6,7,8,9 l, temperate-air 1, wait, 10000 designs, ? runs on 0 "
           "jobs"},
      {{"--heatsinks", "0..1000", "--coolant", "0..9"},
       "the sweep has 10010 designs, more than 10000"},
      {{"--margin", "0.5%"}, defaults + ", 1 designs, ? runs on 0 jobs, margin 0.005"},
      {{"--margin=0.5", "--runs", "7", "--max-overheat", "10%"},
       defaults + ", 1 designs, 7 runs on 0 jobs, margin 0.5, at most 0.1"},
      {{"--max-overheat", "0"}, defaults + ", 1 designs, ? runs on 0 jobs, at most 0"},
      {{"--max-overheat", "100%", "--json"},
       defaults + ", 1 designs, ? runs on 0 jobs, at most 1 as JSON"},
      // Malformed sweeps and shares.
      {{"--heatsinks", "8.."}, "invalid value '8..' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "..8"}, "invalid value '..8' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "9..8"}, "invalid value '9..8' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8..40/0"}, "invalid value '8..40/0' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8..40/"}, "invalid value '8..40/' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8,,9"}, "invalid value '8,,9' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8,"}, "invalid value '8,' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8..1001"}, "invalid value '8..1001' for --heatsinks: " + heatsinkValues},
      {{"--heatsinks", "8,1001"}, "invalid value '8,1001' for --heatsinks: " + heatsinkValues},
      {{"--coolant", "5..10001/5"},
       "invalid value '5..10001/5' for --coolant: expected a whole number from 0 to 10000, a "
       "range A..B or A..B/STEP, or a list A,B,C"},
      {{"--environment", "water,,space"},
       "invalid value 'water,,space' for --environment: " + environments},
      {{"--environment", "all,water"},
       "invalid value 'all,water' for --environment: " + environments},
      {{"--heatsink-type", "single,"},
       "invalid value 'single,' for --heatsink-type: expected single, double or single,double"},
      {{"--heatsink-type", "single,double"},
       "seed clock, 10 turns, 10 single,double, 100 l, temperate-air 1, wait, 2 designs, ? runs on "
       "0 jobs"},
      {{"--environment", "cold-air,water"},
       "seed clock, 10 turns, 10 single, 100 l, cold-air,water 1.2, wait, 2 designs, ? runs on 0 "
       "jobs"},
      {{"--heatsink-type", "triple"},
       "invalid value 'triple' for --heatsink-type: expected single, double or single,double"},
      {{"--turns", "5..9"}, "option '--turns' takes one value, not a list or a range"},
      {{"--seed", "1,2"}, "option '--seed' takes one value, not a list or a range"},
      {{"--runs", "all"}, "option '--runs' takes one value, not a list or a range"},
      {{"--margin", "0"}, "invalid value '0' for --margin: " + marginValues},
      {{"--margin", "60%"}, "invalid value '60%' for --margin: " + marginValues},
      {{"--margin", "0.51"}, "invalid value '0.51' for --margin: " + marginValues},
      {{"--margin", "-1%"}, "invalid value '-1%' for --margin: " + marginValues},
      {{"--margin", "nan"}, "invalid value 'nan' for --margin: " + marginValues},
      {{"--margin", "1e-3"}, "invalid value '1e-3' for --margin: " + marginValues},
      {{"--margin", "%"}, "invalid value '%' for --margin: " + marginValues},
      {{"--max-overheat", "101%"},
       "invalid value '101%' for --max-overheat: expected a share from 0 to 1, such as 0.1 or 10%"},
      {{"--max-overheat", "1.5"},
       "invalid value '1.5' for --max-overheat: expected a share from 0 to 1, such as 0.1 or 10%"},
      {{"--run", "3", "--heatsinks", "8,9"},
       "option '--run' narrates a run of one design, not of a sweep"},
      {{"--run", "3", "--margin", "1%"}, "options '--run' and '--margin' do not go together"},
      {{"--run", "3", "--max-overheat", "1%"},
       "options '--run' and '--max-overheat' do not go together"},
      {{"--runs", "3", "--csv", "--json"}, "options '--csv' and '--json' do not go together"},
      {{"--runs", "3", "--svg", "-", "--json"},
       "options '--svg -' and '--json' do not go together"},
      {{"--runs", "3", "--svg=-", "--csv"}, "options '--svg -' and '--csv' do not go together"},
      {{"--svg="}, "invalid value '' for --svg: expected a file name, or - for standard output"},
      {{"--svg", "a,b..c", "--seed", "4"},
       "seed 4, 10 turns, 10 single, 100 l, temperate-air 1, wait"},
      {{"--run", "999999999999", "--seed", "1"},
       "seed 1, 10 turns, 10 single, 100 l, temperate-air 1, wait, run 999999999999"},
      {{"--run", "5"}, "option '--run' needs --seed: a run of a batch is replayed from its seed"},
      // Each value of a list once: a repeated one would play a design twice.
      {{"--heatsinks", "8,9,8"}, "invalid value '8,9,8' for --heatsinks: 8 is given twice"},
      {{"--coolant", "0,00"}, "invalid value '0,00' for --coolant: 0 is given twice"},
      {{"--heatsink-type", "single,single"},
       "invalid value 'single,single' for --heatsink-type: single is given twice"},
      {{"--heatsink-type", "double,single,double"},
       "invalid value 'double,single,double' for --heatsink-type: double is given twice"},
      {{"--environment", "water,space,water"},
       "invalid value 'water,space,water' for --environment: water is given twice"},
      {{"--run=0", "--seed", "3"},
       "seed 3, 10 turns, 10 single, 100 l, temperate-air 1, wait, run 0"},
      {{"--run", "1000000000000"},
       "invalid value '1000000000000' for --run: expected a whole number from 0 to 999999999999"},
      {{"--run", "5", "--runs", "9"}, "options '--run' and '--runs' do not go together"},
      {{"--run", "5", "--seed", "1", "--json"},
       "option '--json' needs a batch: --runs, --margin or a sweep"},
      {{"--csv"}, "option '--csv' needs a batch: --runs, --margin or a sweep"},
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
      {{"--heatsinks", "1001"}, "invalid value '1001' for --heatsinks: " + heatsinkValues},
      {{"--environment", "Water"}, "invalid value 'Water' for --environment: " + environments},
      {{"--environment=hot air"}, "invalid value 'hot air' for --environment: " + environments},
      {{"--runs", "0"},
       "invalid value '0' for --runs: expected a whole number from 1 to 1000000000000"},
      {{"--runs", "1000000000001"},
       "invalid value '1000000000001' for --runs: expected a whole number from 1 to 1000000000000"},
      {{"--runs", "9", "--jobs", "257"},
       "invalid value '257' for --jobs: expected a whole number from 1 to 256"},
      {{"--json"}, "option '--json' needs a batch: --runs, --margin or a sweep"},
      // A sweep whose tallies could not fit the memory is refused before it plays.
      {{"--runs", "10", "--heatsinks", "0..999", "--coolant", "0..9", "--turns", "1000"},
       "this could take 4.8 GB of memory, more than the 1.0 GB a batch may: lower the designs "
       "(10000) or the turns (1000)"},
      {{"--runs", "10", "--heatsinks", "0..999/100", "--coolant", "0..999", "--turns", "5"},
       "seed clock, 5 turns, 0,100,200,300,400,500,600,700,800,900 single, " +
           [] {
             std::string liters;
             for (int value = 0; value < 1'000; ++value) {
               liters.append(value == 0 ? "" : ",").append(std::to_string(value));
             }
             return liters;
           }() +
           " l, temperate-air 1, wait, 10000 designs, 10 runs on 0 jobs"},
      {{"--jobs", "2"}, "option '--jobs' needs a batch: --runs, --margin or a sweep"},
      // Rules: --rule after --rules, a later --rule of a rule in place of an
      // earlier; one value sets the rule for every design, more make a sweep.
      {{"--rule", "heat.max=80", "--rule=cooling.single=1.5", "--rule", "heat.values=", "--rule",
        "environments.temperate-air=3e-1"},
       "seed clock, 10 turns, 10 single, 100 l, temperate-air 0.3, wait, rules heat.max=80 "
       "cooling.single=1.5 environments.temperate-air=0.3"},
      {{"--rule", "heat.max=50,60", "--rule", "heat.max=70", "--rule", "heat.min=-0"},
       defaults + ", rules heat.max=70"},
      {{"--rule", "heat.values=0,10000", "--rule", "heat.weights=1,999999", "--rule",
        "heat.damage-above=-1"},
       defaults + ", rules heat.values=[0, 10000] heat.weights=[1, 999999] heat.damage-above=-1"},
      {{"--rule", "heat.max=70..90/10", "--rule", "environments.space=3,0.5", "--heatsinks", "8,9",
        "--environment", "space", "--rule", "cooling.per-liter=0"},
       "seed clock, 10 turns, 8,9 single, 100 l, space 3, wait, 12 designs, ? runs on 0 jobs, "
       "rules cooling.per-liter=0, swept heat.max=70,80,90, swept environments.space=3,0.5: "
       "70,3/8/3 70,3/9/3 70,0.5/8/0.5 70,0.5/9/0.5 80,3/8/3 80,3/9/3 80,0.5/8/0.5 "
       "80,0.5/9/0.5 90,3/8/3 90,3/9/3 90,0.5/8/0.5 90,0.5/9/0.5"},
      {{"--rule", "liters.move-at-most=-1..0", "--rule", "cooling.double=1e3,0.25"},
       defaults + ", 4 designs, ? runs on 0 jobs, swept liters.move-at-most=-1,0, swept "
                  "cooling.double=1000,0.25: -1,1000/10/1 -1,0.25/10/1 0,1000/10/1 0,0.25/10/1"},
      {{"--rule", "heat.min=50", "--rule", "heat.max=40..60"},
       "invalid value '40' in '40..60' for --rule heat.max: heat.max must be a whole number from "
       "heat.min to 10000"},
      {{"--rule", "heat.min=60..70/10"},
       "invalid value '60' in '60..70/10' for --rule heat.min: heat.max must be a whole number "
       "from heat.min to 10000 (heat.max is 59)"},
      {{"--rule", "heat.values=1,2"},
       "invalid value '1,2' for --rule heat.values: heat.weights must be a list of whole numbers "
       "from 0 to 1000000, one for each of heat.values, adding up to 1 to 1000000 (heat.weights "
       "is [])"},
      {{"--rule", "heat.max=10001"},
       "invalid value '10001' for --rule heat.max: heat.max must be a whole number from heat.min "
       "to 10000"},
      {{"--rule", "heat.max=99999999999"},
       "invalid value '99999999999' for --rule heat.max: heat.max must be a whole number from "
       "heat.min to 10000"},
      {{"--rule", "heat.weights=1,2147483648"},
       "invalid value '1,2147483648' for --rule heat.weights: heat.weights must be a list of "
       "whole numbers from 0 to 1000000, one for each of heat.values, adding up to 1 to 1000000"},
      {{"--rule", "cooling.single=-1"},
       "invalid value '-1' for --rule cooling.single: cooling.single must be a number from 0 to "
       "1000000"},
      {{"--rule", "environments.water=1e-50"},
       "invalid value '1e-50' for --rule environments.water: environments.water must be a number "
       "above 0 and at most 1000"},
      {{"--rule", "heat.max=x"},
       "invalid value 'x' for --rule heat.max: expected a whole number, a range A..B or "
       "A..B/STEP, or a list A,B,C"},
      {{"--rule", "heat.max=1.5"},
       "invalid value '1.5' for --rule heat.max: expected a whole number, a range A..B or "
       "A..B/STEP, or a list A,B,C"},
      {{"--rule", "heat.max=5..1"},
       "invalid value '5..1' for --rule heat.max: expected a whole number, a range A..B or "
       "A..B/STEP, or a list A,B,C"},
      {{"--rule", "heat.max=1..5/-1"},
       "invalid value '1..5/-1' for --rule heat.max: expected a whole number, a range A..B or "
       "A..B/STEP, or a list A,B,C"},
      {{"--rule", "heat.values=1..3"},
       "invalid value '1..3' for --rule heat.values: expected a list A,B,C of whole numbers, or "
       "nothing"},
      {{"--rule", "heat.values=1,,3"},
       "invalid value '1,,3' for --rule heat.values: expected a list A,B,C of whole numbers, or "
       "nothing"},
      {{"--rule", "cooling.single=1..2"},
       "invalid value '1..2' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=+1"},
       "invalid value '+1' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=e5"},
       "invalid value 'e5' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=1e"},
       "invalid value '1e' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single="},
       "invalid value '' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=inf"},
       "invalid value 'inf' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=1,"},
       "invalid value '1,' for --rule cooling.single: expected a number, or a list A,B,C"},
      {{"--rule", "cooling.single=0.5,.5"},
       "invalid value '0.5,.5' for --rule cooling.single: 0.5 is given twice"},
      {{"--rule", "heat.max=0..10000"},
       "invalid value '0..10000' for --rule heat.max: more than 10000 values"},
      {{"--rule", "heat.max=-9223372036854775808..9223372036854775807/9223372036854775807"},
       "invalid value '-9223372036854775808..9223372036854775807/9223372036854775807' for "
       "--rule heat.max: heat.max must be a whole number from heat.min to 10000"},
      {{"--rule", "heat.max=100..199", "--rule", "liters.max=100..200"},
       "the sweep has 10100 designs, more than 10000"},
      {{"--rule", "heat.min=0..9999", "--rule", "heat.max=0..9999", "--rule", "liters.min=0..9999",
        "--rule", "liters.max=0..9999", "--rule", "liters.move-at-most=0..9999"},
       "the sweep has countless designs, more than 10000"},
      {{"--rule", "heat.max=50,60", "--run", "3", "--seed", "1"},
       "option '--run' narrates a run of one design, not of a sweep"},
      {{"--rule", "heat.mx=5"}, "unknown rule 'heat.mx' (see --print-rules)"},
      {{"--rule", "=5"}, "unknown rule '' (see --print-rules)"},
      {{"--rule", "heat.max"},
       "invalid value 'heat.max' for --rule: expected NAME=VALUE, a rule's name (see "
       "--print-rules) and its value"},
      {{"--rules="}, "invalid value '' for --rules: expected a file name"},
      {{"--rules", "/nonexistent/rules.toml", "--rule", "heat.max=80"},
       "cannot read rules /nonexistent/rules.toml: No such file or directory"},
      {{"--rul=x"}, "option '--rul' is ambiguous"},
      // Each design against the one that differs only in the named axis.
      {{"--heatsinks", "8..24/8", "--heatsink-type", "single,double", "--versus", "heatsinks=016"},
       "seed clock, 10 turns, 8,16,24 single,double, 100 l, temperate-air 1, wait, 6 designs, ? "
       "runs on 0 jobs, versus heatsinks 16: 2,3,2,3,2,3"},
      {{"--coolant", "0,100", "--environment", "water,space", "--versus", "environment=space"},
       "seed clock, 10 turns, 10 single, 0,100 l, water,space 1.3, wait, 4 designs, ? runs on 0 "
       "jobs, versus environment space: 1,1,3,3"},
      {{"--rule", "heat.max=59,69", "--heatsink-type", "single,double", "--versus", "heat.max=69"},
       "seed clock, 10 turns, 10 single,double, 100 l, temperate-air 1, wait, 4 designs, ? runs "
       "on 0 jobs, swept heat.max=59,69: 59/10/1 59/10/1 69/10/1 69/10/1, versus heat.max 69: "
       "2,3,2,3"},
      {{"--heatsinks", "1..12", "--versus", "heatsinks=13"},
       "invalid value '13' for --versus heatsinks: expected one of its 12 values"},
      {{"--heatsink-type", "single,double", "--versus", "heatsink-type=single,double"},
       "invalid value 'single,double' for --versus heatsink-type: expected single, double"},
      {{"--heatsink-type", "single,double", "--coolant", "0,100", "--versus", "heatsinks=10"},
       "option '--versus' compares designs along a swept axis, and 'heatsinks' is not one "
       "(swept: heatsink-type, coolant)"},
      {{"--heatsinks", "1..12", "--versus", "heatsinks=8,9"},
       "invalid value '8,9' for --versus heatsinks: expected one of its 12 values"},
      {{"--coolant", "0,100", "--versus", "coolant=50"},
       "invalid value '50' for --versus coolant: expected 0, 100"},
      {{"--environment", "all", "--versus", "environment=mars"},
       "invalid value 'mars' for --versus environment: expected space, water, hot-air, cold-air, "
       "temperate-air"},
      {{"--rule", "heat.max=59,69", "--versus", "heat.max=x"},
       "invalid value 'x' for --versus heat.max: expected 59, 69"},
      {{"--rule", "heat.max=59,69", "--versus", "heat.max=59,69"},
       "invalid value '59,69' for --versus heat.max: expected 59, 69"},
      {{"--versus", "heatsinks=10"},
       "option '--versus' compares designs along a swept axis, and 'heatsinks' is not one "
       "(nothing is swept)"},
      {{"--versus", "heatsinks"},
       "invalid value 'heatsinks' for --versus: expected NAME=VALUE, a swept axis (heatsinks, "
       "heatsink-type, coolant, environment or a swept rule) and one of its values"},
      // --print-rules prints the rules alone, whatever else is asked.
      {{"--print-rules"}, "print rules"},
      {{"--print-rules", "--rule", "heat.max=80", "--heatsinks", "0..1000", "--coolant", "0..10000",
        "--json", "--run", "2"},
       "print rules heat.max=80"},
      {{"--print-rules", "--rule", "heat.max=8,9"},
       "option '--print-rules' prints one set of rules, not a sweep of --rule heat.max"},
      {{"--print-rules", "--rule", "heat.min=70"},
       "invalid value '70' for --rule heat.min: heat.max must be a whole number from heat.min "
       "to 10000 (heat.max is 59)"},
      {{"--print-rules", "x"}, "unexpected argument 'x'"},
      // Options and arguments that are not the program's.
      {{"--seed"}, "option '--seed' needs a value: a whole number from 0 to 4294967295"},
      {{"--environment"},
       "option '--environment' needs a value: a list of space, water, hot-air, "
       "cold-air, temperate-air or all"},
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

TEST(CommandLine, SaysWhenTheRulesItWasGivenAreOutOfBounds) {
  simulation::Rules broken;
  broken.heatMax = -1;
  std::vector<std::string> words{"mech-heat", "--rule", "heat.max=9"};
  std::vector<char*> argv{words[0].data(), nullptr};
  const auto refused = parse(1, argv.data(), broken);
  ASSERT_TRUE(std::holds_alternative<Error>(refused));
  EXPECT_EQ(std::get<Error>(refused).message,
            "invalid rules: heat.max must be a whole number from heat.min to 10000 (heat.max is "
            "-1)");
  argv = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  const auto mended = parse(3, argv.data(), broken);
  ASSERT_TRUE(std::holds_alternative<Options>(mended));
  EXPECT_EQ(std::get<Options>(mended).rules.heatMax, 9);
}

}  // namespace
}  // namespace command_line
