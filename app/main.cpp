#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <variant>

#include "options/command_line.hpp"
#include "options/rules_file.hpp"
#include "output.hpp"
#include "parallel_batch.hpp"
#include "progress.hpp"
#include "reports/csv_report.hpp"
#include "reports/json_report.hpp"
#include "reports/svg_report.hpp"
#include "reports/text_report.hpp"
#include "simulation/batch.hpp"
#include "simulation/narrated_run.hpp"
#include "simulation/sweep.hpp"
#include "terminal.hpp"
#include "wait_for_key.hpp"

namespace {

// Draws a chart with `draw`: into the file --svg names, or onto standard
// output. Whether it was written, after saying why not if it was not.
bool drawChart(const std::string& file, const std::function<void(std::ostream&)>& draw) {
  if (file == "-") {
    draw(std::cout);
    return true;
  }
  const auto failure = writeWholeFile(file, draw);
  if (failure) {
    std::cerr << "mech-heat: cannot write " << file << ": " << *failure << std::endl;
  }
  return !failure;
}

int playNarrated(const command_line::Options& options) {
  const simulation::Design start = options.designs().front();
  heat::MechHeatSystem mech = start.mech;
  const std::uint32_t seed = options.seed.value_or(simulation::clockSeed());
  // A run of a batch is drawn by that run's generator; a plain one by std::rand.
  const simulation::TurnSource source =
      options.run ? simulation::batchRunTurns(seed, *options.run, start.rules)
                  : simulation::platformTurns(options.seed, start.rules);
  // A chart on standard output takes the narration's place.
  std::ostream nowhere{nullptr};
  const auto record = simulation::playNarratedRun(mech, options.turns, source, start.rules,
                                                  options.svg == "-" ? nowhere : std::cout);
  // What was printed is out before a chart that may go the same way (/dev/stdout).
  const bool printed = outputWritten();
  // Drawn unless it could not be written; the lambda's clean-up is gcov's other way through.
  const bool drawn =
      !options.svg || drawChart(*options.svg, [&](std::ostream& out) {  // GCOVR_EXCL_BR_LINE
        reports::printRunSvg(out, {start.mech, options.turns, 1, seed, 1, start.rules}, record);
      });
  // Nobody is asked for a key behind output that was lost, a chart on it too.
  if (!printed || !drawn || !outputWritten()) {
    return 1;
  }
  if (options.wait) {
    waitForKeyPress();
  }
  return outputWritten() ? 0 : 1;
}

int playBatch(const command_line::Options& options) {
  const simulation::SweepSettings settings = options.sweepSettings();
  const unsigned jobs = options.jobs.value_or(std::max(1U, std::thread::hardware_concurrency()));
  // Progress only on a terminal, and only while the program is in the foreground there.
  std::optional<ProgressLine> progress;
  if (isTerminal(StandardStream::Error)) {
    progress.emplace(std::cerr, settings.runs * settings.designs.size(), std::chrono::seconds{1});
  }
  // Each call plays the blocks up to the next check of the margin, or all.
  const simulation::BatchBlocks blocks{settings.turns, settings.runs};
  const auto designRuns = [&](std::uint64_t block) {
    return (block == 0 ? 0 : blocks.endRun(block - 1)) * settings.designs.size();
  };
  const auto player = [&](const simulation::SweepSettings& sweep, std::uint64_t firstBlock,
                          std::uint64_t endBlock, std::vector<simulation::BatchTally>& tallies) {
    if (progress) {
      progress->setRuns(designRuns(endBlock));
    }
    const std::uint64_t before = designRuns(firstBlock);
    parallelPlayer(jobs, [&](std::uint64_t runsDone) {
      if (progress) {
        progress->show(before + runsDone, {inBackground(StandardStream::Error),
                                           terminalColumns(StandardStream::Error)});
      }
    })(sweep, firstBlock, endBlock, tallies);
  };
  const simulation::SweepResult result = simulation::playSweep(settings, player);
  progress.reset();
  const reports::ReportOptions report{options.maxOverheat};
  if (options.svg == "-") {
    reports::printSvg(std::cout, result, report);
    return outputWritten() ? 0 : 1;
  }
  if (options.format == command_line::Options::Format::Json) {
    reports::printJson(std::cout, result, report);
  } else if (options.format == command_line::Options::Format::Csv) {
    useBinaryOutput();
    reports::printCsv(std::cout, result);
  } else {
    reports::printText(std::cout, result, report);
  }
  // As for a narrated run.
  const bool printed = outputWritten();
  const bool drawn =
      !options.svg || drawChart(*options.svg, [&](std::ostream& out) {  // GCOVR_EXCL_BR_LINE
        reports::printSvg(out, result, report);
      });
  return printed && drawn ? 0 : 1;
}

int run(int argc, char* argv[]) {
  auto parsed = command_line::parse(argc, argv);
  if (const auto* error = std::get_if<command_line::Error>(&parsed)) {
    std::cerr << "mech-heat: " << error->message << "\nTry 'mech-heat --help'.\n";
    return 2;
  }
  const auto& options = std::get<command_line::Options>(parsed);
  if (options.action == command_line::Options::Action::PrintRules) {
    std::cout << command_line::printRules(options.rules);
    return outputWritten() ? 0 : 1;
  }
  if (options.action != command_line::Options::Action::Run) {
    std::cout << (options.action == command_line::Options::Action::ShowHelp
                      ? command_line::usage()
                      : command_line::version());
    return outputWritten() ? 0 : 1;
  }
  if (!options.batch()) {
    return playNarrated(options);
  }
  try {
    static_cast<void>(simulation::selectedEngine());
  } catch (const std::invalid_argument& refused) {  // GCOVR_EXCL_BR_LINE: it throws no other
    std::cerr << "mech-heat: " << refused.what() << "\n";
    return 2;
  }
  return playBatch(options);
}

}  // namespace

int main(int argc, char* argv[]) {
  useUtf8Console();
  try {
    return run(argc, argv);
  } catch (const std::exception& failure) {  // GCOVR_EXCL_START: no test can provoke these
    // Out of memory, on this thread or on one of a batch, or no thread could be started.
    std::cerr << "mech-heat: " << failure.what() << std::endl;
    return 1;
  }  // GCOVR_EXCL_STOP
}
