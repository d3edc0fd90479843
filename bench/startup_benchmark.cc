// The launcher's start-up benchmark: the launcher started afresh against a baseline that reaches
// the runtime at once, over archives and library paths of growing size, the start-up steps timed
// in process, and then the start-up targets computed from this one run.
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_layout.h"
#include "bench/in_process_cases.h"
#include "bench/instruction_count.h"
#include "bench/process_cases.h"
#include "bench/target_summary.h"
#include "tests/scratch_directory.h"

namespace {

void printHelp() {
  std::cout
      << "startup_benchmark: times the launcher's start-up against a baseline program that\n"
         "calls the runtime's run-main entry at once, and against one that makes the launcher's\n"
         "runtime calls, each run a fresh process, and counts the instructions of one start of\n"
         "each under valgrind's callgrind; times the start-up steps in process; then\n"
         "prints the start-up targets measured in this run and every case's median. Nothing is\n"
         "asserted: a missed target is shown as missed. Deployments and sparse archives (up to\n"
         "4 GiB, taking no disk space) are made in a scratch directory below TMPDIR or /tmp and\n"
         "removed at the end. Random interleaving of the repetitions is on unless switched off.\n"
         "The launcher that tools/build-portable.sh builds, when it is there, runs beside the\n"
         "host-built one and is held to its time plus 1 %. The launcher and two baselines run\n"
         "once more against an empty runtime, which does nothing, to show the targets' floor.\n\n"
         "Options are Google Benchmark's:\n";
  benchmark::PrintDefaultHelp();
}

std::string loadAverage() {
  double load[3];
  if (getloadavg(load, 3) != 3) return "unknown";
  char text[64];
  snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
  return text;
}

// Lays out the deployments below |scratch|, checks every case once, then runs them all and
// prints the targets.
bool measure(const std::string& scratch) {
  BenchLayout layout;
  MedianRecorder recorder;
  std::string err;
  if (!makeBenchLayout(scratch, &layout, &err) ||
      !checkLoadOrder(layout.sidecar[0], scratch, &err) ||
      !checkLoadOrder(layout.emptyRuntimeSidecar, scratch, &err)) {
    std::cerr << "startup_benchmark: " << err << "\n";
    return false;
  }
  std::cout << "Portable launcher: " << portableLauncherPath()
            << (layout.portable ? "\n" : " is absent (tools/build-portable.sh builds it)\n");
  for (const ProcessCase& processCase : listProcessCases(layout)) {
    uint64_t instructions = 0;
    if (!checkProcessCase(processCase, scratch, &err) ||
        (processCase.countInstructions &&
         !countInstructions(processCase.launch, scratch, &instructions, &err))) {
      std::cerr << "startup_benchmark: " << err << "\n";
      return false;
    }
    registerProcessCase(processCase, scratch, instructions);
    if (instructions != 0) recorder.recordInstructions(processCase.name, instructions);
  }
  registerInProcessCases(layout);

  // The machine's load before and after, since other work on it is the figures' main noise.
  std::string loadBefore = loadAverage();
  benchmark::RunSpecifiedBenchmarks(&recorder);
  printTargets(recorder, std::cout);
  if (!recorder.empty()) {
    std::cout << "\nLoad average (1, 5, 15 min): " << loadBefore << " before, " << loadAverage()
              << " after\n";
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Interleaved repetitions: a drift of the machine during the run falls on the launcher and on
  // the baseline alike, so that their ratio holds.
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args = {argv[0], interleave.data()};
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data(), printHelp);
  if (count > 1) {
    std::cerr << "startup_benchmark: unknown argument " << args[1] << " (see --help)\n";
    return 2;
  }
  try {
    ScratchDirectory scratch("korvel-bench");
    if (!measure(scratch.path())) return 1;
  } catch (const std::exception& e) {
    std::cerr << "startup_benchmark: " << e.what() << "\n";
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
