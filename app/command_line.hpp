#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "heat/environment.hpp"
#include "heat/mech_heat_system.hpp"
#include "simulation/turn.hpp"

// The program's command line, read into a plain value.
namespace command_line {

struct Options {
  enum class Action { Run, ShowHelp, ShowVersion };

  Action action = Action::Run;
  std::optional<std::uint32_t> seed;  // the clock's when not given
  int turns = simulation::kDefaultTurnCount;
  heat::MechHeatSystem mech;          // the starting mech
  bool wait = true;                   // wait for a key at the end, where there is one to press
  std::optional<std::uint64_t> runs;  // a batch of this many silent runs when given
  std::optional<std::uint64_t> run;   // narrate this run of the batch with the seed
  std::optional<unsigned> jobs;       // threads of a batch; the machine's when not given
  bool json = false;                  // a batch's summary as JSON
};

// What is wrong with a command line, in words for its user.
struct Error {
  std::string message;
};

// Reads the program's arguments, argv[1] to argv[argc - 1]. Prints nothing.
// Not reentrant: it uses getopt_long's global state.
[[nodiscard]] std::variant<Options, Error> parse(int argc, char* argv[]);

// The text of --help and of --version.
[[nodiscard]] std::string_view usage();
[[nodiscard]] std::string_view version();

}  // namespace command_line
