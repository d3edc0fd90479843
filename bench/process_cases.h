// The process-level cases: each iteration starts the launcher (or the baseline) afresh and times
// it until it has been reaped; the peak resident set of the runs is kept as a counter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_layout.h"
#include "tests/timed_process.h"

namespace case_names {
inline constexpr char kBaseline[] = "process/baseline";
// The bare baseline with the empty runtime as its proxy library.
inline constexpr char kEmptyRuntimeBaseline[] = "process/empty-runtime/baseline";
}  // namespace case_names

// How a launcher case runs: quiet, quiet with a start message in its archive, or verbose.
enum class LauncherMode { kQuiet, kStartMessage, kVerbose };

// The case that runs the launcher with its archive at |placement| and of the size |scaleLabel|.
std::string launcherCaseName(ArchivePlacement placement, const std::string& scaleLabel,
                             LauncherMode run = LauncherMode::kQuiet);

// The case that runs the portable launcher with the smallest archive at |placement|.
std::string portableLauncherCaseName(ArchivePlacement placement);

// The baseline that makes the launcher's runtime calls for the smallest archive at |placement|.
std::string runtimeCallsCaseName(ArchivePlacement placement);
// The baseline that makes the launcher's own library and system calls and then its runtime calls,
// for the smallest archive at |placement|.
std::string launcherCallsCaseName(ArchivePlacement placement);

// The launcher ("launcher"), the baseline with its runtime calls ("runtime-calls") or with its own
// calls too ("launcher-calls"), quiet, with the smallest archive at |placement| and the empty
// runtime as their proxy library.
std::string emptyRuntimeCaseName(const std::string& program, ArchivePlacement placement);

// The library path cases, launcher and baseline, with |length| entries.
std::string libraryPathCaseName(const std::string& program, int length);

// The counter that holds the peak resident set, in KiB.
inline constexpr char kPeakRssCounter[] = "peak_rss_KiB";
// The counter that holds the instructions of one start, loader included (countInstructions).
inline constexpr char kInstructionsCounter[] = "instructions";

// The name of the statistic that each process case reports beside its median: the 10th
// percentile of its runs, which the slow runs of a noisy machine move far less.
inline constexpr char kLowPercentile[] = "p10";

struct ProcessCase {
  std::string name;
  ProcessLaunch launch;
  // One run a repetition, many repetitions: the interleaving mixes the cases run by run, and the
  // median is that of single runs, which a stray slow run does not move. Two copies of one
  // program differ by up to 2 % in medians of 300 runs on a shared two-core machine, the size of
  // the margins the targets leave, so each case takes a thousand.
  int iterations = 1;
  int repetitions = 1000;
  // Each repetition ends with one run through the peak resident set probe, outside the timing.
  bool measurePeakRss = false;
  // Counted once under callgrind before the timing; not for the long library paths, which the
  // loader alone makes take minutes there.
  bool countInstructions = true;
  // What the check run before the measurement must give, so that no figure comes from a broken
  // deployment: exit status 0, nothing on standard error, and this standard output, whole or
  // (for a verbose run, whose listing names the scratch paths) its last line.
  std::string out = "";
  bool outLastLineOnly = false;
};

std::vector<ProcessCase> listProcessCases(const BenchLayout& layout);

// Runs |processCase| once with its output in files below |scratch|, and once through the probe,
// and compares what it gave with what the case expects.
bool checkProcessCase(const ProcessCase& processCase, const std::string& scratch, std::string* err);

// Runs the launcher and the baselines of |deployment| with LD_TRACE_LOADED_OBJECTS set, and fails
// unless the dynamic loader lists the same objects in the same order for all three, so that the
// difference between them is none of the loader's.
bool checkLoadOrder(const BenchDeployment& deployment, const std::string& scratch,
                    std::string* err);

// The probe writes its figure to a file below |scratch|. |instructions|, when not 0, is reported
// beside the time.
void registerProcessCase(const ProcessCase& processCase, const std::string& scratch,
                         uint64_t instructions);
