#include <algorithm>
#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <thread>
#include <variant>

#include "command_line.hpp"
#include "output.hpp"
#include "parallel_batch.hpp"
#include "progress.hpp"
#include "reports/json_report.hpp"
#include "reports/text_report.hpp"
#include "simulation/narrated_run.hpp"
#include "terminal.hpp"
#include "wait_for_key.hpp"

namespace {

int playNarrated(command_line::Options& options) {
  // A run of a batch is drawn by that run's generator; a plain one by std::rand.
  const simulation::TurnSource source =
      options.run
          ? simulation::batchRunTurns(options.seed.value_or(simulation::clockSeed()), *options.run)
          : simulation::platformTurns(options.seed);
  simulation::playNarratedRun(options.mech, options.turns, source);
  // Nobody is asked for a key behind output that was lost.
  if (!outputWritten()) {
    return 1;
  }
  if (options.wait) {
    waitForKeyPress();
  }
  return outputWritten() ? 0 : 1;
}

int playBatch(const command_line::Options& options) {
  const simulation::BatchSettings settings{options.mech, options.turns, *options.runs,
                                           options.seed.value_or(simulation::clockSeed())};
  const unsigned jobs = options.jobs.value_or(std::max(1U, std::thread::hardware_concurrency()));
  // Progress only on a terminal, and only while the program is in the foreground there.
  std::optional<ProgressLine> progress;
  if (isTerminal(StandardStream::Error)) {
    progress.emplace(std::cerr, settings.runs, std::chrono::seconds{1});
  }
  const auto showProgress = [&progress](std::uint64_t runsDone) {
    if (progress) {
      progress->show(runsDone,
                     {inBackground(StandardStream::Error), terminalColumns(StandardStream::Error)});
    }
  };
  const simulation::BatchResult result = playInParallel(settings, jobs, showProgress);
  progress.reset();
  if (options.json) {
    reports::printJson(std::cout, result);
  } else {
    reports::printText(std::cout, result);
  }
  return outputWritten() ? 0 : 1;
}

int run(int argc, char* argv[]) {
  auto parsed = command_line::parse(argc, argv);
  if (const auto* error = std::get_if<command_line::Error>(&parsed)) {
    std::cerr << "mech-heat: " << error->message << "\nTry 'mech-heat --help'.\n";
    return 2;
  }
  auto& options = std::get<command_line::Options>(parsed);
  if (options.action != command_line::Options::Action::Run) {
    std::cout << (options.action == command_line::Options::Action::ShowHelp
                      ? command_line::usage()
                      : command_line::version());
    return outputWritten() ? 0 : 1;
  }
  return options.runs ? playBatch(options) : playNarrated(options);
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    return run(argc, argv);
  } catch (const std::exception& failure) {  // GCOVR_EXCL_START: no test can provoke these
    // Out of memory, or no thread could be started.
    std::cerr << "mech-heat: " << failure.what() << std::endl;
    return 1;
  }  // GCOVR_EXCL_STOP
}
