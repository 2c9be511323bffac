// The web page's WebAssembly module: the program's command line and the axes
// it sweeps, its batch, its narrated run of a batch and its rules files behind
// a few C functions that the page's worker calls, and two functions imported
// from the worker: one is told how far a batch has got, the other that memory
// ran out.
//
// Arguments come in as one buffer of NUL-terminated words, the argv of the
// program without its name. What a call made is kept in parts (the message,
// the text, the JSON, the SVG, the command) until the next call, which the
// worker reads with mh_part.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "heat/mech_heat_system.hpp"
#include "options/command_line.hpp"
#include "options/rules_file.hpp"
#include "reports/json_report.hpp"
#include "reports/summary.hpp"
#include "reports/svg_report.hpp"
#include "reports/text_report.hpp"
#include "simulation/batch.hpp"
#include "simulation/narrated_run.hpp"
#include "simulation/rules.hpp"
#include "simulation/sweep.hpp"

extern "C" {
// Called after each block of a batch: the runs played so far, of every
// design together, and the most there are to play.
__attribute__((import_module("env"), import_name("progress"))) void pageProgress(double runsDone,
                                                                                 double runsAtMost);
// Called when operator new finds no memory; it ends the call (the worker
// throws), and the worker, whose module is left half way, is replaced.
__attribute__((import_module("env"), import_name("out_of_memory"))) void pageOutOfMemory();
}

namespace {

enum Part : std::uint8_t { kMessage, kText, kJson, kSvg, kCommand, kPartCount };

// A part as the worker reads it: where its UTF-8 bytes are (a 32-bit
// address in wasm32), how many.
struct Span {
  const char* data;
  std::uint32_t size;
};

// What the last call made, and the last batch, whose runs can be narrated.
struct State {
  std::array<std::string, kPartCount> parts;
  Span span{};
  std::optional<simulation::SweepResult> batch;
};

State& state() {
  static State instance;
  return instance;
}

std::variant<command_line::Options, command_line::Error> parseWords(std::string_view words) {
  std::vector<std::string> arguments{"mech-heat"};
  for (std::size_t start = 0; start < words.size();) {
    const std::size_t end = words.find('\0', start);
    arguments.emplace_back(words.substr(start, end - start));
    start = end == std::string_view::npos ? words.size() : end + 1;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  return command_line::parse(static_cast<int>(arguments.size()), argv.data());
}

// The options of a command line; none, with the program's message in the
// message part, when it is bad.
std::optional<command_line::Options> optionsOf(State& current, std::string_view words) {
  auto parsed = parseWords(words);
  if (const auto* error = std::get_if<command_line::Error>(&parsed)) {
    current.parts[kMessage] = error->message;
    return std::nullopt;
  }
  return std::get<command_line::Options>(std::move(parsed));
}

// The block player of the page: the calling thread's, one block at a time,
// telling the page after each.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a BlockPlayer
void playWithProgress(const simulation::SweepSettings& settings, std::uint64_t firstBlock,
                      std::uint64_t endBlock, std::vector<simulation::BatchTally>& tallies) {
  const simulation::BatchBlocks blocks{settings.turns, settings.runs};
  const auto designs = static_cast<double>(settings.designs.size());
  for (std::uint64_t block = firstBlock; block < endBlock; ++block) {
    simulation::playBlocks(settings, block, block + 1, tallies);
    pageProgress(static_cast<double>(blocks.endRun(block)) * designs,
                 static_cast<double>(settings.runs) * designs);
  }
}

// The batch or sweep the options ask for, with its summary as text and as
// JSON and its chart, as `mech-heat … --json --jobs 1` and `--svg -` print them.
void playBatch(const command_line::Options& options) {
  State& current = state();
  current.batch = simulation::playSweep(options.sweepSettings(), playWithProgress);
  const reports::ReportOptions report{options.maxOverheat};
  std::ostringstream text;
  reports::printText(text, *current.batch, report);
  current.parts[kText] = text.str();
  std::ostringstream json;
  reports::printJson(json, *current.batch, report);
  current.parts[kJson] = json.str();
  std::ostringstream svg;
  reports::printSvg(svg, *current.batch, report);
  current.parts[kSvg] = svg.str();
}

// Run `run` of a batch narrated as `mech-heat --seed S --run K …` narrates
// it, its chart, and that command.
void narrate(const simulation::BatchSettings& settings, std::uint64_t run) {
  State& current = state();
  heat::MechHeatSystem mech = settings.mech;
  std::ostringstream text;
  const auto record = simulation::playNarratedRun(
      mech, settings.turns, simulation::batchRunTurns(settings.seed, run, settings.rules),
      settings.rules, text);
  current.parts[kText] = text.str();
  std::ostringstream svg;
  reports::printRunSvg(svg,
                       {.mech = settings.mech,
                        .turns = settings.turns,
                        .runs = 1,
                        .seed = settings.seed,
                        .rules = settings.rules},
                       record);
  current.parts[kSvg] = svg.str();
  current.parts[kCommand] = reports::replayCommand(settings, run);
}

// A rule's value as --rule takes it: a list as A,B,C, empty when it has no
// entries.
std::string ruleArgument(const simulation::RuleValue& value) {
  const auto* list = std::get_if<std::vector<std::int64_t>>(&value);
  if (list == nullptr) {
    return simulation::ruleText(value);
  }
  std::string text;
  for (const std::int64_t entry : *list) {
    text.append(text.empty() ? "" : ",").append(std::to_string(entry));
  }
  return text;
}

// Text in a JSON string: the names and meanings of rules are plain, yet a
// quote or a backslash would still read back.
std::string jsonString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
    }
    quoted += c;
  }
  return quoted + '"';
}

// Every rule in the order of simulation::kRuleNames, as the page's fields
// show them: [{"name", "type", "meaning", "value"}, …], the value as --rule
// takes it.
std::string rulesJson(const simulation::Rules& rules) {
  constexpr std::array<std::string_view, 4> kTypes{"whole", "number", "factor", "list"};
  std::string json = "[";
  for (std::size_t rule = 0; rule < simulation::kRuleNames.size(); ++rule) {
    const simulation::RuleName& name = simulation::kRuleNames.at(rule);
    json.append(rule == 0 ? "\n" : ",\n")
        .append(R"({"name": )")
        .append(jsonString(name.name))
        .append(R"(, "type": ")")
        .append(kTypes.at(static_cast<std::size_t>(name.type)))
        .append(R"(", "meaning": )")
        .append(jsonString(name.meaning))
        .append(R"(, "value": )")
        .append(jsonString(ruleArgument(simulation::ruleValue(rules, rule))))
        .append("}");
  }
  return json + "\n]\n";
}

// The axes a sweep varies, in the order of Options::sweptAxes, as the page's
// versus control lists them: [{"name", "values": [...]}, …], each value as
// --versus takes it.
std::string axesJson(const command_line::Options& options) {
  std::string json = "[";
  for (const command_line::Options::Axis& axis : options.sweptAxes()) {
    json.append(json.size() == 1 ? "\n" : ",\n")
        .append(R"({"name": )")
        .append(jsonString(axis.name))
        .append(R"(, "values": [)");
    for (std::size_t value = 0; value < axis.values.size(); ++value) {
      json.append(value == 0 ? "" : ", ").append(jsonString(axis.values[value]));
    }
    json.append("]}");
  }
  return json + "\n]\n";
}

void outOfMemory() {
  pageOutOfMemory();
  std::abort();  // were the call to go on, operator new would only ask again
}

// Starts a call: every part empty, and running out of memory told to the page.
State& fresh() {
  std::set_new_handler(outOfMemory);
  State& current = state();
  for (std::string& part : current.parts) {
    part.clear();
  }
  return current;
}

constexpr int kDone = 0;
constexpr int kBadCommandLine = 2;  // as the program's exit status

}  // namespace

extern "C" {

__attribute__((export_name("mh_alloc"))) void* mhAlloc(std::size_t size) {
  return std::malloc(size);  // NOLINT(cppcoreguidelines-no-malloc): the worker's buffers
}

__attribute__((export_name("mh_free"))) void mhFree(void* pointer) {
  std::free(pointer);  // NOLINT(cppcoreguidelines-no-malloc)
}

// Checks a command line: kDone, or kBadCommandLine with the program's
// message (without "mech-heat: ") as the message part.
__attribute__((export_name("mh_check"))) int mhCheck(const char* words, std::size_t size) {
  State& current = fresh();
  return optionsOf(current, {words, size}) ? kDone : kBadCommandLine;
}

// The axes a command line sweeps, as JSON (axesJson) in the JSON part: kDone,
// or kBadCommandLine with the program's message.
__attribute__((export_name("mh_axes"))) int mhAxes(const char* words, std::size_t size) {
  State& current = fresh();
  const auto options = optionsOf(current, {words, size});
  if (!options) {
    return kBadCommandLine;
  }
  current.parts[kJson] = axesJson(*options);
  return kDone;
}

// Plays what a command line asks for: a batch or a sweep (text, JSON, SVG),
// or with --run that run narrated (text, SVG, command); with --print-rules
// the rules as a rules file (text). Nothing when the command line is bad
// (kBadCommandLine and its message), or asks for none of them
// (kBadCommandLine and a message naming --runs).
__attribute__((export_name("mh_run"))) int mhRun(const char* words, std::size_t size) {
  State& current = fresh();
  const auto parsed = optionsOf(current, {words, size});
  if (!parsed) {
    return kBadCommandLine;
  }
  const command_line::Options& options = *parsed;
  if (options.action == command_line::Options::Action::PrintRules) {
    current.parts[kText] = command_line::printRules(options.rules);
    return kDone;
  }
  if (options.batch()) {
    playBatch(options);
    return kDone;
  }
  if (options.run && options.action == command_line::Options::Action::Run) {
    const simulation::Design design = options.designs().front();
    narrate({.mech = design.mech,
             .turns = options.turns,
             .runs = 1,
             .seed = options.seed.value_or(simulation::clockSeed()),
             .rules = design.rules},
            *options.run);
    return kDone;
  }
  current.parts[kMessage] = "the page plays a batch: give --runs, --margin or a sweep";
  return kBadCommandLine;
}

// Narrates run `run` (its decimal digits, as --run takes them) of design
// `design` of the last batch: kDone, or kBadCommandLine with --run's message.
__attribute__((export_name("mh_narrate"))) int mhNarrate(std::size_t design, const char* run,
                                                         std::size_t size) {
  State& current = fresh();
  std::string words = "--seed";
  words += '\0';
  words += "0";  // --run needs a seed; the batch's own is used
  words += '\0';
  words += "--run";
  words += '\0';
  words.append(run, size);
  words += '\0';
  const auto parsed = optionsOf(current, words);
  if (!parsed) {
    return kBadCommandLine;
  }
  const command_line::Options& options = *parsed;
  if (!options.run || !current.batch || design >= current.batch->designs.size()) {
    current.parts[kMessage] = "no batch has that design: run one first";
    return kBadCommandLine;
  }
  narrate(current.batch->designs[design].settings, *options.run);
  return kDone;
}

// The rules a rules file gives over the game's, as JSON (rulesJson) in the
// JSON part: kDone, or kBadCommandLine with the reader's message, "NAME:LINE:
// COLUMN: …". The buffer holds the file's name, a NUL, then its text; an
// empty one gives the game's rules.
__attribute__((export_name("mh_rules"))) int mhRules(const char* file, std::size_t size) {
  State& current = fresh();
  const std::string_view buffer{file, size};
  const std::size_t nul = buffer.find('\0');
  const std::string_view name = buffer.substr(0, nul);
  const std::string_view text =
      nul == std::string_view::npos ? std::string_view{} : buffer.substr(nul + 1);
  const auto read = command_line::readRules(name, text);
  if (const auto* error = std::get_if<command_line::Error>(&read)) {
    current.parts[kMessage] = error->message;
    return kBadCommandLine;
  }
  current.parts[kJson] = rulesJson(std::get<simulation::Rules>(read));
  return kDone;
}

// A part of what the last call made, valid until the next call.
__attribute__((export_name("mh_part"))) const Span* mhPart(std::size_t part) {
  State& current = state();
  const std::string& text = current.parts.at(part < kPartCount ? part : kMessage);
  current.span = {.data = text.data(), .size = static_cast<std::uint32_t>(text.size())};
  return &current.span;
}

}  // extern "C"
