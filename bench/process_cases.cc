#include "bench/process_cases.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "tests/file_bytes.h"

namespace {

constexpr char kPath[] = "PATH=/usr/bin:/bin";
constexpr char kVerbose[] = "QPAX_VERBOSE=";

ProcessLaunch launcherLaunch(const BenchDeployment& deployment, std::vector<std::string> env) {
  env.insert(env.begin(), kPath);
  return {.program = deployment.executable, .argv = {deployment.executable}, .env = env};
}

ProcessLaunch baselineLaunch(const BenchDeployment& deployment, std::vector<std::string> env) {
  env.insert(env.begin(), kPath);
  return {.program = deployment.baseline, .argv = {deployment.baseline}, .env = env};
}

std::string lastLine(const std::string& text) {
  if (text.empty()) return text;
  size_t at = text.rfind('\n', text.size() - 2);
  return at == std::string::npos ? text : text.substr(at + 1);
}

std::string placementLabel(ArchivePlacement placement) {
  return placement == ArchivePlacement::kAppended ? "appended" : "sidecar";
}

double tenthPercentile(const std::vector<double>& values) {
  if (values.empty()) return 0;
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() / 10];
}

}  // namespace

std::string launcherCaseName(ArchivePlacement placement, const std::string& scaleLabel,
                             LauncherMode run) {
  const char* suffix = run == LauncherMode::kVerbose        ? "/verbose"
                       : run == LauncherMode::kStartMessage ? "/start-message"
                                                            : "";
  return "process/launcher/" + placementLabel(placement) + "/archive:" + scaleLabel + suffix;
}

std::string portableLauncherCaseName(ArchivePlacement placement) {
  return "process/portable-launcher/" + placementLabel(placement) +
         "/archive:" + kArchiveScales[0].label;
}

std::string runtimeCallsCaseName(ArchivePlacement placement) {
  return "process/baseline/runtime-calls/" + placementLabel(placement);
}

std::string launcherCallsCaseName(ArchivePlacement placement) {
  return "process/baseline/launcher-calls/" + placementLabel(placement);
}

std::string emptyRuntimeCaseName(const std::string& program, ArchivePlacement placement) {
  return "process/empty-runtime/" + program + "/" + placementLabel(placement);
}

std::string libraryPathCaseName(const std::string& program, int length) {
  return "process/" + program + "/ldpath:" + std::to_string(length);
}

std::vector<ProcessCase> listProcessCases(const BenchLayout& layout) {
  std::vector<ProcessCase> cases;
  ProcessCase baseline{case_names::kBaseline, baselineLaunch(layout.sidecar[0], {})};
  baseline.measurePeakRss = true;
  cases.push_back(baseline);
  cases.push_back(
      {case_names::kEmptyRuntimeBaseline, baselineLaunch(layout.emptyRuntimeSidecar, {})});

  for (ArchivePlacement placement : {ArchivePlacement::kSidecar, ArchivePlacement::kAppended}) {
    const auto& deployments =
        placement == ArchivePlacement::kAppended ? layout.appended : layout.sidecar;
    for (size_t i = 0; i < kArchiveScales.size(); ++i) {
      ProcessCase quiet{launcherCaseName(placement, kArchiveScales[i].label),
                        launcherLaunch(deployments[i], {})};
      // The smallest archive is the one set against the baseline.
      quiet.measurePeakRss = i == 0;
      cases.push_back(quiet);
    }
    const BenchDeployment& smallest = deployments[0];
    std::vector<std::string> args = {smallest.runtimeCalls};
    args.insert(args.end(), smallest.runtimeCallsArgs.begin(), smallest.runtimeCallsArgs.end());
    ProcessCase calls{runtimeCallsCaseName(placement),
                      {.program = smallest.runtimeCalls, .argv = args, .env = {kPath}}};
    calls.measurePeakRss = true;
    cases.push_back(calls);
    args.insert(args.begin() + 1, "--with-launcher-calls");
    cases.push_back({launcherCallsCaseName(placement),
                     {.program = smallest.runtimeCalls, .argv = args, .env = {kPath}}});
    // The verbose listing names the scratch paths, so only its last line is compared.
    ProcessCase verbose{
        launcherCaseName(placement, kArchiveScales[0].label, LauncherMode::kVerbose),
        launcherLaunch(deployments[0], {kVerbose})};
    verbose.out = "Status:zekInitializeApplication completed\n";
    verbose.outLastLineOnly = true;
    cases.push_back(verbose);
    const BenchDeployment& withMessage = placement == ArchivePlacement::kAppended
                                             ? layout.appendedStartMessage
                                             : layout.sidecarStartMessage;
    ProcessCase message{
        launcherCaseName(placement, kArchiveScales[0].label, LauncherMode::kStartMessage),
        launcherLaunch(withMessage, {})};
    message.out = "Initializing Korvel Compiler Runtime version 7.14.1\nStarting Up:" +
                  std::string(kStartMessage) + "\n";
    cases.push_back(message);
    const BenchDeployment& empty = placement == ArchivePlacement::kAppended
                                       ? layout.emptyRuntimeAppended
                                       : layout.emptyRuntimeSidecar;
    std::vector<std::string> emptyArgs = {empty.runtimeCalls};
    emptyArgs.insert(emptyArgs.end(), empty.runtimeCallsArgs.begin(), empty.runtimeCallsArgs.end());
    cases.push_back({emptyRuntimeCaseName("runtime-calls", placement),
                     {.program = empty.runtimeCalls, .argv = emptyArgs, .env = {kPath}}});
    emptyArgs.insert(emptyArgs.begin() + 1, "--with-launcher-calls");
    cases.push_back({emptyRuntimeCaseName("launcher-calls", placement),
                     {.program = empty.runtimeCalls, .argv = emptyArgs, .env = {kPath}}});
    cases.push_back({emptyRuntimeCaseName("launcher", placement), launcherLaunch(empty, {})});
    if (layout.portable) {
      cases.push_back(
          {portableLauncherCaseName(placement),
           launcherLaunch(placement == ArchivePlacement::kAppended ? layout.portableAppended
                                                                   : layout.portableSidecar,
                          {})});
    }
  }

  // The dynamic loader searches the library path too, for every library of both programs, so
  // the baseline runs with the same path. Relative entries, run from the deployment: 10,000
  // absolute ones would not fit in one environment string.
  for (int length : kLibraryPathLengths) {
    std::string variable = "LD_LIBRARY_PATH=" + libraryPathValue("", length);
    // At 10,000 entries a run takes about a second, nearly all of it the loader's.
    int repetitions = length >= 10000 ? 7 : length >= 100 ? 40 : 100;
    ProcessCase launcher{libraryPathCaseName("launcher/sidecar", length),
                         launcherLaunch(layout.libraryPath, {variable})};
    ProcessCase bare{libraryPathCaseName("baseline", length),
                     baselineLaunch(layout.libraryPath, {variable})};
    for (ProcessCase* c : {&launcher, &bare}) {
      c->launch.cwd = layout.libraryPath.dir;
      c->repetitions = repetitions;
      c->countInstructions = length == 1;
      cases.push_back(*c);
    }
  }
  return cases;
}

bool checkProcessCase(const ProcessCase& processCase, const std::string& scratch,
                      std::string* err) {
  TimedProcess process(processCase.launch);
  TimedRun run, probed;
  std::string outPath = scratch + "/check.out", errPath = scratch + "/check.err";
  if (!process.run(&run, err, outPath, errPath) ||
      !process.measurePeakRss(builtProbePath(), scratch + "/check.rss", &probed, err)) {
    return false;
  }
  std::string out = readFile(outPath), errText = readFile(errPath);
  if (processCase.outLastLineOnly) out = lastLine(out);
  if (run.status == 0 && probed.status == 0 && errText.empty() && out == processCase.out) {
    return true;
  }
  *err = processCase.name + ": the check run gave status " + std::to_string(run.status) +
         " (through the probe " + std::to_string(probed.status) + "), standard output \"" + out +
         "\" and standard error \"" + errText + "\"; expected 0, \"" + processCase.out +
         "\" and nothing";
  return false;
}

bool checkLoadOrder(const BenchDeployment& deployment, const std::string& scratch,
                    std::string* err) {
  std::string outPath = scratch + "/loaded.out";
  std::string first;
  for (const std::string& program :
       {deployment.executable, deployment.baseline, deployment.runtimeCalls}) {
    TimedProcess process(
        {.program = program, .argv = {program}, .env = {kPath, "LD_TRACE_LOADED_OBJECTS=1"}});
    TimedRun run;
    if (!process.run(&run, err, outPath)) return false;
    // One line an object: "name => path (address)"; the addresses change from run to run.
    std::string objects, listing = readFile(outPath);
    for (size_t at = 0; at < listing.size();) {
      size_t end = listing.find('\n', at);
      if (end == std::string::npos) end = listing.size();
      std::string line = listing.substr(at, end - at);
      objects += line.substr(0, line.rfind(" (")) + "\n";
      at = end + 1;
    }
    if (run.status != 0 || objects.empty()) {
      *err = "the dynamic loader cannot list the objects of " + program;
      return false;
    }
    if (first.empty()) {
      first = objects;
    } else if (objects != first) {
      *err = program + " loads other objects than the launcher, or in another order:\n" + objects +
             "where the launcher loads:\n" + first;
      return false;
    }
  }
  return true;
}

void registerProcessCase(const ProcessCase& processCase, const std::string& scratch,
                         uint64_t instructions) {
  auto process = std::make_shared<TimedProcess>(processCase.launch);
  bool measurePeakRss = processCase.measurePeakRss;
  std::string resultPath = scratch + "/peak.rss";
  benchmark::RegisterBenchmark(
      processCase.name.c_str(),
      [process, measurePeakRss, resultPath, instructions](benchmark::State& state) {
        auto exitedAsExpected = [&](const TimedRun& run, const std::string& err, bool ok) {
          if (!ok) {
            state.SkipWithError(err.c_str());
          } else if (run.status != 0) {
            state.SkipWithError(("exited with " + std::to_string(run.status)).c_str());
          }
          return ok && run.status == 0;
        };
        for (auto _ : state) {
          TimedRun run;
          std::string err;
          if (!exitedAsExpected(run, err, process->run(&run, &err))) break;
          state.SetIterationTime(run.seconds);
        }
        if (instructions != 0) {
          state.counters[kInstructionsCounter] = static_cast<double>(instructions);
        }
        if (!measurePeakRss || state.error_occurred()) return;
        TimedRun probed;
        std::string err;
        if (exitedAsExpected(
                probed, err,
                process->measurePeakRss(builtProbePath(), resultPath, &probed, &err))) {
          state.counters[kPeakRssCounter] = static_cast<double>(probed.peakRssKiB);
        }
      })
      ->Iterations(processCase.iterations)
      ->Repetitions(processCase.repetitions)
      ->ComputeStatistics(kLowPercentile, tenthPercentile)
      ->ReportAggregatesOnly(true)
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
}
