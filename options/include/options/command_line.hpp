#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "heat/environment.hpp"
#include "heat/mech_heat_system.hpp"
#include "simulation/rules.hpp"
#include "simulation/sweep.hpp"
#include "simulation/turn.hpp"

// The program's command line, read into a plain value.
namespace command_line {

// The runs of a batch given neither --runs nor --margin, and the most runs
// a margin may take.
inline constexpr std::uint64_t kDefaultRuns = 100'000;
inline constexpr std::uint64_t kDefaultMostRuns = 1'000'000'000;

// The most memory, in bytes, that a batch or sweep and its report may take:
// one that could take more is refused before it plays.
inline constexpr std::uint64_t kMemoryBudget = 1'000'000'000;

// A rule that --rule gives more than one value: each value makes designs.
struct RuleSweep {
  std::size_t rule;                           // its index in simulation::kRuleNames
  std::vector<simulation::RuleValue> values;  // two or more, in the order given
};

struct Options {
  // PrintRules: print `rules` as a rules file (printRules) and exit.
  enum class Action { Run, ShowHelp, ShowVersion, PrintRules };
  enum class Format { Text, Json, Csv };

  Action action = Action::Run;
  std::optional<std::uint32_t> seed;  // the clock's when not given
  int turns = simulation::kDefaultTurnCount;
  // The values of the starting mech; a sweep when any has more than one.
  std::vector<std::int32_t> heatsinks{heat::MechHeatSystem{}.heatsinkCount};
  std::vector<heat::HeatsinkType> heatsinkTypes{heat::MechHeatSystem{}.heatsinkType};
  std::vector<std::int32_t> coolant{heat::MechHeatSystem{}.coolantLiters};
  std::vector<heat::Environment> environments{heat::MechHeatSystem{}.environment};
  bool wait = true;                   // wait for a key at the end, where there is one to press
  std::optional<std::uint64_t> runs;  // of a batch: how many, or with a margin the most
  std::optional<std::uint64_t> run;   // narrate this run of the batch with the seed
  std::optional<unsigned> jobs;       // threads of a batch; the machine's when not given
  std::optional<double> margin;       // play a batch until its intervals are this narrow
  std::optional<double> maxOverheat;  // name the cheapest designs that keep to this
  Format format = Format::Text;
  std::optional<std::string> svg;  // a chart into this file, or "-" for standard output
  // The rules every design plays by: the game's (or those parse was given),
  // then --rules, then each --rule of one value, in order.
  simulation::Rules rules;
  // The rules --rule gives more than one value, in the order given; a sweep
  // when there is any.
  std::vector<RuleSweep> ruleSweeps;
  // --versus: NAME=VALUE, a swept axis and its baseline value, as given.
  std::optional<std::string> versus;

  // An axis of a sweep: its name as --versus takes it ("heatsinks",
  // "heatsink-type", "coolant", "environment" or a rule's name), and each of
  // its values as the option spells it, in order.
  struct Axis {
    std::string name;
    std::vector<std::string> values;
  };
  // The axes that have more than one value, in the order designs() varies
  // them, the slowest first.
  [[nodiscard]] std::vector<Axis> sweptAxes() const;

  // Every combination of the values, each a mech as it starts (in its
  // environment, with that environment's factor under its rules) and its
  // rules. The swept rules vary slowest, in the order of ruleSweeps, then
  // heatsinks, heatsink types, coolant and environments, which vary fastest.
  [[nodiscard]] std::vector<simulation::Design> designs() const;

  // Whether the options ask for a batch of silent runs rather than a
  // narrated run: --runs, --margin, --max-overheat or a sweep (of a rule too).
  [[nodiscard]] bool batch() const;

  // The batch or sweep they ask for: its designs, its turns, --runs (or
  // kDefaultMostRuns with a margin, kDefaultRuns without), the seed (the
  // clock's when not given), the margin and, with --versus, each design's
  // baseline.
  [[nodiscard]] simulation::SweepSettings sweepSettings() const;
};

// What is wrong with a command line, in words for its user.
struct Error {
  std::string message;
};

// Reads the program's arguments, argv[1] to argv[argc - 1], and the rules
// file --rules names, on top of `start`: the rules before --rules and --rule,
// the game's unless a caller has others (the web page, those of a file it
// read). Prints nothing. Not reentrant: it uses getopt_long's global state.
[[nodiscard]] std::variant<Options, Error> parse(int argc, char* argv[],
                                                 const simulation::Rules& start = {});

// The text of --help and of --version.
[[nodiscard]] std::string_view usage();
[[nodiscard]] std::string_view version();

}  // namespace command_line
