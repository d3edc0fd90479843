// A process started afresh as a user starts the launcher, for the benchmark: an environment that
// the caller sets whole, standard input from /dev/null and its output to /dev/null (or to files,
// for the check run), timed from the spawn until it has been reaped. posix_spawn, not fork: it
// costs the parent far less, which is part of what is timed.
#pragma once

#include <spawn.h>

#include <string>
#include <vector>

#include "tests/process_launch.h"

struct TimedRun {
  int status = -1;      // the exit status, or 128 + the signal that ended it
  double seconds = 0;   // wall time from the spawn until the process was reaped
  long peakRssKiB = 0;  // the peak resident set in KiB, from measurePeakRss
};

class TimedProcess {
 public:
  // Takes the program, argv, environment and directory of |launch|. A timed run is never killed,
  // and refuses a launch that asks for another root or user.
  explicit TimedProcess(ProcessLaunch launch);
  TimedProcess(const TimedProcess&) = delete;
  TimedProcess& operator=(const TimedProcess&) = delete;

  const ProcessLaunch& launch() const { return launch_; }

  // Runs the process once, its standard output and error written to the files at |outPath| and
  // |errPath|.
  bool run(TimedRun* run, std::string* err, const std::string& outPath = "/dev/null",
           const std::string& errPath = "/dev/null") const;

  // Runs the process once through the peak resident set probe at |probePath|, which writes the
  // figure to the file at |resultPath|; |run| gets the status and the figure, not the time.
  bool measurePeakRss(const std::string& probePath, const std::string& resultPath, TimedRun* run,
                      std::string* err) const;

 private:
  bool spawn(const std::string& program, char* const* argv, const std::string& outPath,
             const std::string& errPath, const std::string& resultPath, TimedRun* run,
             std::string* err) const;

  ProcessLaunch launch_;
  std::vector<char*> argv_;
  std::vector<char*> env_;
};
