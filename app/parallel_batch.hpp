#pragma once

#include <cstdint>
#include <functional>

#include "simulation/batch.hpp"

// A batch's blocks spread over threads. The result is the one
// simulation::playBatch gives, bit for bit, for any number of jobs.

// Called now and then from the thread that called playInParallel, with the
// runs done so far.
using Progress = std::function<void(std::uint64_t runsDone)>;

// Plays the batch on `jobs` threads. Throws std::invalid_argument for 0 jobs
// or settings that describe no batch.
[[nodiscard]] simulation::BatchResult playInParallel(const simulation::BatchSettings& settings,
                                                     unsigned jobs, const Progress& progress = {});
