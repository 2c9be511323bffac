// The web page's WebAssembly module: the program's command line and the axes
// it sweeps, its batches, narrated runs and rules files behind a few C
// functions that the page's workers call, and one function imported from
// the worker, told that memory ran out.
//
// A batch or sweep is played by several workers, each with a module of its
// own: one starts it (mh_run), every one plays blocks of it (mh_play), and
// the one that started it adds them up in block order (mh_add), a stage at
// a time, as the program's --margin checks, then writes its reports.
//
// Arguments come in as one buffer of NUL-terminated words, the argv of the
// program without its name. What a call made is kept in parts (the message,
// the text, the JSON, the SVG, the command, the stage, the tallies) until the
// next call, which the worker reads with mh_part.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
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
#include "simulation/tally_words.hpp"

extern "C" {
// Called when operator new finds no memory; it ends the call (the worker
// throws), and the worker, whose module is left half way, is replaced.
__attribute__((import_module("env"), import_name("out_of_memory"))) void pageOutOfMemory();
}

namespace {

enum Part : std::uint8_t { kMessage, kText, kJson, kSvg, kCommand, kStage, kTallies, kPartCount };

// A part as the worker reads it: where its UTF-8 bytes are (a 32-bit
// address in wasm32), how many.
struct Span {
  const char* data;
  std::uint32_t size;
};

// A sweep being added up: its tallies, its groups of designs, each group's
// next block to add, and what its reports show.
struct Sweep {
  simulation::SweepPlay play;
  std::vector<std::vector<std::size_t>> groups;
  std::vector<std::uint64_t> nextBlocks;
  reports::ReportOptions report;
  unsigned players;  // the workers that play its blocks
};

// The sweep a command line asks for, as the module that plays blocks of it
// last found it: kept while the same command line comes again.
struct Played {
  std::string words;
  simulation::SweepSettings settings;
  std::vector<std::vector<std::size_t>> groups;
};

// What the last call made, the sweep being added up, and the last played.
struct State {
  std::array<std::string, kPartCount> parts;
  Span span{};
  std::optional<Sweep> sweep;
  std::optional<Played> played;
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

// How the workers play a stage of `stageBlocks` blocks: items of `blocks`
// blocks of a group at a time, at most 64, as many as make about 16 MB of
// tallies at most, and few enough for each worker to have 4 at least; and
// at most `inFlight` items played or waiting to be added at once, 2 for each
// worker, or fewer where their tallies would take more than about 256 MB.
struct Items {
  std::uint64_t blocks;
  std::uint64_t inFlight;
};

Items itemsOf(const Sweep& sweep, std::uint64_t stageBlocks) {
  constexpr std::uint64_t kItemBytes = std::uint64_t{16} << 20U;
  constexpr std::uint64_t kInFlightBytes = std::uint64_t{256} << 20U;
  constexpr std::uint64_t kMostBlocks = 64;
  constexpr std::uint64_t kItemsPerPlayer = 4;
  const simulation::SweepSettings& settings = sweep.play.settings();
  const simulation::BatchBlocks blocks{settings.turns, settings.runs};
  std::uint64_t largest = 1;  // a block's tallies of the largest group, in bytes
  for (const std::vector<std::size_t>& group : sweep.groups) {
    std::uint64_t bytes = 0;
    for (const std::size_t design : group) {
      bytes +=
          simulation::tallyMemory(simulation::designBatch(settings, design, blocks.runsPerBlock()));
    }
    largest = std::max(largest, bytes);
  }
  const std::uint64_t shared =
      stageBlocks * sweep.groups.size() / (kItemsPerPlayer * std::max(sweep.players, 1U));
  const std::uint64_t itemBlocks = std::clamp<std::uint64_t>(
      std::min({kItemBytes / largest, kMostBlocks, shared}), 1, kMostBlocks);
  return {.blocks = itemBlocks,
          .inFlight = std::clamp<std::uint64_t>(kInFlightBytes / (largest * itemBlocks), 1,
                                                std::uint64_t{2} * sweep.players)};
}

// The stage a sweep plays next, as the page's workers take it: {"first",
// "end", the blocks; "groups", the designs in each group; "blocksPerItem",
// of a group played at a time; "runsPerBlock", "runs", of each design at
// most; "inFlight", how many items may be under way at once (itemsOf)}.
// Empty once the sweep is over.
std::string stageJson(const Sweep& sweep) {
  if (sweep.play.over()) {
    return "";
  }
  const simulation::SweepSettings& settings = sweep.play.settings();
  const auto [first, end] = sweep.play.stage();
  std::string json = R"({"first": )" + std::to_string(first) + R"(, "end": )" +
                     std::to_string(end) + R"(, "groups": [)";
  for (std::size_t group = 0; group < sweep.groups.size(); ++group) {
    json.append(group == 0 ? "" : ", ").append(std::to_string(sweep.groups[group].size()));
  }
  const Items items = itemsOf(sweep, end - first);
  return json + R"(], "blocksPerItem": )" + std::to_string(items.blocks) + R"(, "runsPerBlock": )" +
         std::to_string(simulation::BatchBlocks{settings.turns, settings.runs}.runsPerBlock()) +
         R"(, "runs": )" + std::to_string(settings.runs) + R"(, "inFlight": )" +
         std::to_string(items.inFlight) + "}\n";
}

// The summary of a sweep that is over as text and as JSON and its chart, as
// `mech-heat … --json --jobs 1` and `--svg -` print them.
void writeReports(State& current, const simulation::SweepResult& result,
                  const reports::ReportOptions& report) {
  std::ostringstream text;
  reports::printText(text, result, report);
  current.parts[kText] = text.str();
  std::ostringstream json;
  reports::printJson(json, result, report);
  current.parts[kJson] = json.str();
  std::ostringstream svg;
  reports::printSvg(svg, result, report);
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

// Does what a command line asks for: starts a batch or a sweep, its first
// stage in the stage part (stageJson), its blocks to be played on `players`
// workers; narrates a run with --run (text, SVG, command); writes the rules
// as a rules file with --print-rules (text). Nothing when the command line is
// bad (kBadCommandLine and its message), or asks for none of them
// (kBadCommandLine and a message naming --runs).
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the words' size, then the players
__attribute__((export_name("mh_run"))) int mhRun(const char* words, std::size_t size,
                                                 unsigned players) {
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
    simulation::SweepSettings settings = options.sweepSettings();
    std::vector<std::vector<std::size_t>> groups = simulation::designGroups(settings);
    std::vector<std::uint64_t> nextBlocks(groups.size());
    current.sweep.emplace(Sweep{.play = simulation::SweepPlay{std::move(settings)},
                                .groups = std::move(groups),
                                .nextBlocks = std::move(nextBlocks),
                                .report = reports::ReportOptions{options.maxOverheat},
                                .players = players});
    current.parts[kStage] = stageJson(*current.sweep);
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

// Plays blocks [firstBlock, endBlock) of group `group` (designGroups) of the
// sweep a command line asks for: kDone, with the tallies part holding for
// each block the block and the group, then the tallies of the group's
// designs (appendTallyWords); or kBadCommandLine with a message.
__attribute__((export_name("mh_play"))) int mhPlay(std::uint32_t firstBlock, std::uint32_t endBlock,
                                                   std::uint32_t group, const char* words,
                                                   std::size_t size) {
  State& current = fresh();
  const std::string_view given{words, size};
  if (!current.played || current.played->words != given) {
    current.played.reset();  // its memory, before the next one's is taken
    const auto options = optionsOf(current, given);
    if (!options) {
      return kBadCommandLine;
    }
    simulation::SweepSettings settings = options->sweepSettings();
    std::vector<std::vector<std::size_t>> groups = simulation::designGroups(settings);
    current.played.emplace(Played{
        .words = std::string{given}, .settings = std::move(settings), .groups = std::move(groups)});
  }
  const Played& played = *current.played;
  const simulation::BatchBlocks blocks{played.settings.turns, played.settings.runs};
  if (group >= played.groups.size() || firstBlock >= endBlock ||
      endBlock > blocks.blocksFor(played.settings.runs)) {
    current.parts[kMessage] = "the sweep has no such blocks";
    return kBadCommandLine;
  }
  std::vector<std::uint64_t> tallies;
  for (std::uint32_t block = firstBlock; block < endBlock; ++block) {
    tallies.insert(tallies.end(), {block, group});
    for (const simulation::BatchTally& tally : simulation::playGroup(
             played.settings, played.groups[group], blocks.firstRun(block), blocks.endRun(block))) {
      simulation::appendTallyWords(tally, tallies);
    }
  }
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the words' bytes, to hand on
  current.parts[kTallies].assign(reinterpret_cast<const char*>(tallies.data()),
                                 tallies.size() * sizeof(std::uint64_t));
  return kDone;
}

// Adds blocks that mh_play played (its tallies part, `size` bytes) to the
// sweep mh_run started, which takes each group's blocks in order. kDone,
// with the next stage in the stage part when they ended one; once the sweep
// is over, with nothing there but its reports (text, JSON, SVG).
// kBadCommandLine with a message when no sweep is being played or these are
// not whole tallies of the next blocks.
__attribute__((export_name("mh_add"))) int mhAdd(const char* bytes, std::size_t size) {
  State& current = fresh();
  if (!current.sweep) {
    current.parts[kMessage] = "no sweep is being played";
    return kBadCommandLine;
  }
  Sweep& sweep = *current.sweep;
  std::vector<std::uint64_t> words(size / sizeof(std::uint64_t));
  std::memcpy(words.data(), bytes, words.size() * sizeof(std::uint64_t));
  const std::uint64_t stageEnd = sweep.play.stage().second;
  for (std::span<const std::uint64_t> rest{words}; !rest.empty();) {
    const auto group = static_cast<std::size_t>(rest.size() < 2 ? sweep.groups.size() : rest[1]);
    if (group >= sweep.groups.size() || rest[0] != sweep.nextBlocks[group] || rest[0] >= stageEnd) {
      current.parts[kMessage] = "the blocks of each group are added in order, those of a stage";
      return kBadCommandLine;
    }
    rest = rest.subspan(2);
    const std::vector<std::size_t>& members = sweep.groups[group];
    std::vector<simulation::BatchTally> tallies;
    for (std::size_t member = 0; member < members.size(); ++member) {
      std::optional<simulation::BatchTally> tally = simulation::readTallyWords(rest);
      if (!tally) {
        current.parts[kMessage] = "the tallies of a block are cut short";
        return kBadCommandLine;
      }
      tallies.push_back(std::move(*tally));
    }
    simulation::addGroup(sweep.play.tallies(), members, tallies);
    sweep.nextBlocks[group] += 1;
  }
  if (std::ranges::all_of(sweep.nextBlocks, [&](std::uint64_t next) { return next == stageEnd; })) {
    sweep.play.endStage();
    current.parts[kStage] = stageJson(sweep);
    if (sweep.play.over()) {
      writeReports(current, std::move(sweep.play).result(), sweep.report);
      current.sweep.reset();
    }
  }
  return kDone;
}

// Narrates run `run` (its decimal digits, as --run takes them, the last
// word) of design `design` of the batch or sweep the words before ask for:
// kDone, or kBadCommandLine with --run's message, or the command line's.
__attribute__((export_name("mh_narrate"))) int mhNarrate(std::size_t design, const char* words,
                                                         std::size_t size) {
  State& current = fresh();
  const std::string_view given{words, size};
  // The last word, before its NUL, and the command line before it.
  const std::size_t runStart =
      given.size() < 2 ? 0 : given.find_last_of('\0', given.size() - 2) + 1;
  std::string runWords = "--seed";
  runWords += '\0';
  runWords += "0";  // --run needs a seed; the batch's own is used
  runWords += '\0';
  runWords += "--run";
  runWords += '\0';
  runWords.append(given.substr(runStart));
  const auto run = optionsOf(current, runWords);
  if (!run) {
    return kBadCommandLine;
  }
  const auto options = optionsOf(current, given.substr(0, runStart));
  if (!options) {
    return kBadCommandLine;
  }
  const simulation::SweepSettings settings = options->sweepSettings();
  if (!run->run || design >= settings.designs.size()) {
    current.parts[kMessage] = "the batch has no such design";
    return kBadCommandLine;
  }
  narrate(simulation::designBatch(settings, design, settings.runs), *run->run);
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
