// The instructions of one start of a process, counted by valgrind's callgrind tool from the
// dynamic loader's first instruction to the process's exit. Unlike wall time the count does not
// move with whatever else the machine does, and between runs only by the few instructions that the
// addresses' alignment changes in the string functions.
#pragma once

#include <cstdint>
#include <string>

#include "tests/timed_process.h"

// Runs |launch| once under callgrind, its output in files below |scratch|, and sets |count| to the
// instructions it executed. Fails when valgrind is missing or the run does not end with status 0.
bool countInstructions(const ProcessLaunch& launch, const std::string& scratch, uint64_t* count,
                       std::string* err);
