// The instructions of one start of a process, counted by valgrind's callgrind tool from the
// dynamic loader's first instruction to the process's exit. Unlike wall time the count is the
// same on every run and whatever else the machine does.
#pragma once

#include <cstdint>
#include <string>

#include "tests/timed_process.h"

// Runs |launch| once under callgrind, its output in files below |scratch|, and sets |count| to the
// instructions it executed. Fails when valgrind is missing or the run does not end with status 0.
bool countInstructions(const ProcessLaunch& launch, const std::string& scratch, uint64_t* count,
                       std::string* err);
