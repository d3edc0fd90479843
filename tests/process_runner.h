// Running a process to its end and capturing what it wrote: the unit, end-to-end and tool tests
// all run programs through this.
#pragma once

#include <string>

#include "tests/process_launch.h"

struct ProcessOutcome {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
  bool timedOut = false;
  long peakResidentKiB = 0;  // the child's peak resident set size
};

// Runs |launch| to its end, standard input from /dev/null. Fails only when the child cannot be
// started at all.
bool runProcess(const ProcessLaunch& launch, ProcessOutcome* outcome, std::string* err);
