#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "simulation/batch.hpp"
#include "simulation/sweep.hpp"

// A sweep's blocks spread over threads. The result is the one the engine
// gives on one thread, bit for bit, for any number of jobs.

// Called now and then from the thread that plays, with the runs done so far
// (of all designs together) in the blocks it was given.
using Progress = std::function<void(std::uint64_t runsDone)>;

// A block player for simulation::playSweep that plays on `jobs` threads, each
// block with `playRuns` (simulation::RunPlayer), which a test may give.
// When a block throws, no other block is started, and once every thread has
// ended the exception is thrown again on the calling thread.
// Throws std::invalid_argument for 0 jobs.
[[nodiscard]] simulation::BlockPlayer parallelPlayer(unsigned jobs, Progress progress = {},
                                                     simulation::RunPlayer playRuns = {});

// A plain batch on `jobs` threads.
[[nodiscard]] simulation::BatchResult playInParallel(const simulation::BatchSettings& settings,
                                                     unsigned jobs, const Progress& progress = {});
