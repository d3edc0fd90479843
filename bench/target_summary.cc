#include "bench/target_summary.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "bench/bench_layout.h"
#include "bench/process_cases.h"

namespace {

struct Row {
  std::string what;
  std::function<std::optional<double>()> measure;
  std::string unit;  // "" for a ratio
  std::optional<double> limit;
};

std::string format(double value, const std::string& unit) {
  char text[64];
  const char* form = unit.empty() ? "%.3f" : unit == "instructions" ? "%.0f %s" : "%.1f %s";
  snprintf(text, sizeof text, form, value, unit.c_str());
  return text;
}

void printRows(const std::string& title, const std::vector<Row>& rows, std::ostream& out) {
  out << "\n" << title << "\n";
  char line[256];
  snprintf(line, sizeof line, "%-74s %14s %12s  %s\n", "", "measured", "limit", "");
  out << line;
  for (const Row& row : rows) {
    std::optional<double> value = row.measure();
    std::string limit = row.limit ? format(*row.limit, row.unit) : "";
    std::string verdict = !value                 ? "not measured"
                          : !row.limit           ? ""
                          : *value <= *row.limit ? "met"
                                                 : "missed";
    snprintf(line, sizeof line, "%-74s %14s %12s  %s\n", row.what.c_str(),
             value ? format(*value, row.unit).c_str() : "-", limit.c_str(), verdict.c_str());
    out << line;
  }
}

// The three baselines do ever more of the same work, so their medians must rise in that order;
// a run in which they do not was too noisy for its ratios to mean anything, "met" or "missed".
void printConsistency(const MedianRecorder& medians, std::ostream& out) {
  std::vector<std::string> disorders;
  int compared = 0;
  for (ArchivePlacement placement : {ArchivePlacement::kSidecar, ArchivePlacement::kAppended}) {
    std::vector<std::vector<std::string>> chains = {
        {case_names::kBaseline, runtimeCallsCaseName(placement), launcherCallsCaseName(placement)},
        {case_names::kEmptyRuntimeBaseline, emptyRuntimeCaseName("runtime-calls", placement),
         emptyRuntimeCaseName("launcher-calls", placement)}};
    for (const std::vector<std::string>& chain : chains) {
      for (size_t i = 0; i + 1 < chain.size(); ++i) {
        auto less = medians.median(chain[i]), more = medians.median(chain[i + 1]);
        if (!less || !more || less->seconds <= 0 || more->seconds <= 0) continue;
        ++compared;
        if (more->seconds < less->seconds) {
          disorders.push_back(chain[i + 1] + " took less time than " + chain[i]);
        }
      }
    }
  }
  out << "\nRun check\n";
  if (compared == 0) {
    out << "the baselines were not timed in this run\n";
    return;
  }
  if (disorders.empty()) {
    out << "the baselines' medians rise with their work: the run is steady enough to judge\n";
    return;
  }
  for (const std::string& disorder : disorders) {
    out << "too noisy to judge: " << disorder << ", which does less of the same work\n";
  }
}

}  // namespace

void MedianRecorder::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    bool median = run.aggregate_name == "median";
    if (run.run_type != Run::RT_Aggregate || run.error_occurred ||
        (!median && run.aggregate_name != kLowPercentile)) {
      continue;
    }
    CaseMedian& recorded = medians_[run.run_name.function_name];
    double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    if (!median) {
      recorded.lowSeconds = seconds;
      continue;
    }
    recorded.seconds = seconds;
    auto counter = run.counters.find(kPeakRssCounter);
    if (counter != run.counters.end()) recorded.peakRssKiB = counter->second.value;
  }
  ConsoleReporter::ReportRuns(runs);
}

void MedianRecorder::recordInstructions(const std::string& name, double count) {
  medians_[name].instructions = count;
}

std::optional<CaseMedian> MedianRecorder::median(const std::string& name) const {
  auto found = medians_.find(name);
  if (found == medians_.end()) return std::nullopt;
  return found->second;
}

void printTargets(const MedianRecorder& medians, std::ostream& out) {
  if (medians.empty()) return;
  // The ratio of two cases' medians, or with |statistic| &CaseMedian::lowSeconds of their 10th
  // percentiles.
  auto ratio = [&](std::string over, std::string under,
                   double CaseMedian::*statistic = &CaseMedian::seconds) {
    return [&medians, over, under, statistic]() -> std::optional<double> {
      auto a = medians.median(over), b = medians.median(under);
      if (!a || !b || (*a).*statistic <= 0 || (*b).*statistic <= 0) return std::nullopt;
      return (*a).*statistic / (*b).*statistic;
    };
  };
  auto extraRss = [&](std::string launcher) {
    return [&medians, launcher]() -> std::optional<double> {
      auto a = medians.median(launcher), b = medians.median(case_names::kBaseline);
      if (!a || !b || a->peakRssKiB <= 0 || b->peakRssKiB <= 0) return std::nullopt;
      return a->peakRssKiB - b->peakRssKiB;
    };
  };
  // The difference of two cases' medians in microseconds, or with &CaseMedian::instructions of
  // their instruction counts.
  auto extra = [&](std::string launcher, std::string baseline,
                   double CaseMedian::*statistic = &CaseMedian::seconds) {
    double scale = statistic == &CaseMedian::seconds ? 1e6 : 1;
    return [&medians, launcher, baseline, statistic, scale]() -> std::optional<double> {
      auto a = medians.median(launcher), b = medians.median(baseline);
      if (!a || !b || (*a).*statistic <= 0 || (*b).*statistic <= 0) return std::nullopt;
      return ((*a).*statistic - (*b).*statistic) * scale;
    };
  };
  auto extraTime = [&](std::string launcher, std::string baseline) {
    return extra(launcher, baseline);
  };
  const auto instructions = &CaseMedian::instructions;
  const std::string small = kArchiveScales.front().label, large = kArchiveScales.back().label;
  std::vector<Row> targets, details, floor;
  for (ArchivePlacement placement : {ArchivePlacement::kSidecar, ArchivePlacement::kAppended}) {
    std::string where = placement == ArchivePlacement::kSidecar ? "sidecar" : "appended";
    std::string smallCase = launcherCaseName(placement, small);
    std::string messageCase = launcherCaseName(placement, small, LauncherMode::kStartMessage);
    std::string verboseCase = launcherCaseName(placement, small, LauncherMode::kVerbose);
    for (const auto& [launcher, what] :
         {std::pair{smallCase, "launcher with " + where + " archive"},
          std::pair{messageCase, "launcher with " + where + " archive and start message"}}) {
      targets.push_back({"instructions, " + what + " / baseline",
                         ratio(launcher, case_names::kBaseline, instructions), "", 1.02});
      targets.push_back(
          {"wall time, " + what + " / baseline", ratio(launcher, case_names::kBaseline), "", 1.03});
      details.push_back({"instructions, " + what + " - baseline",
                         extra(launcher, case_names::kBaseline, instructions), "instructions",
                         std::nullopt});
    }
    targets.push_back({"wall time, " + large + " / " + small + " " + where + " archive",
                       ratio(launcherCaseName(placement, large), smallCase), "", 1.01});
    details.push_back({"instructions, " + large + " / " + small + " " + where + " archive",
                       ratio(launcherCaseName(placement, large), smallCase, instructions), "",
                       std::nullopt});
    targets.push_back({"peak RSS, launcher with " + where + " archive - baseline",
                       extraRss(smallCase), "KiB", 512});
    details.push_back({"wall time, launcher with " + where + " archive - baseline",
                       extraTime(smallCase, case_names::kBaseline), "us", std::nullopt});
    for (size_t i = 1; i + 1 < kArchiveScales.size(); ++i) {
      std::string label = kArchiveScales[i].label;
      details.push_back({"wall time, " + label + " / " + small + " " + where + " archive",
                         ratio(launcherCaseName(placement, label), smallCase), "", std::nullopt});
    }
    // The bare baseline skips the runtime calls that every launch makes, and they alone cost
    // about as much as the launcher's own work; the second baseline makes them, so the launcher
    // over it is the launcher's own work, held to the same limit.
    std::string calls = runtimeCallsCaseName(placement);
    targets.push_back({"wall time, launcher's own work: " + where + " archive / its runtime calls",
                       ratio(smallCase, calls), "", 1.05});
    // The launcher built in the Debian 11 root, held to the same limits and to the host-built
    // launcher's time plus 1 %, when this run had it.
    std::string portableCase = portableLauncherCaseName(placement);
    if (medians.median(portableCase)) {
      targets.push_back({"wall time, portable launcher with " + where + " archive / baseline",
                         ratio(portableCase, case_names::kBaseline), "", 1.05});
      targets.push_back(
          {"wall time, portable launcher's own work: " + where + " archive / its runtime calls",
           ratio(portableCase, calls), "", 1.05});
      targets.push_back({"wall time, portable / host-built launcher, " + where + " archive",
                         ratio(portableCase, smallCase), "", 1.01});
    }
    details.push_back({"wall time, runtime calls for " + where + " archive - baseline",
                       extraTime(calls, case_names::kBaseline), "us", std::nullopt});
    details.push_back({"instructions, runtime calls for " + where + " archive - baseline",
                       extra(calls, case_names::kBaseline, instructions), "instructions",
                       std::nullopt});
    details.push_back({"instructions, launcher with " + where + " archive - its runtime calls",
                       extra(smallCase, calls, instructions), "instructions", std::nullopt});
    details.push_back({"wall time, launcher with " + where + " archive - its runtime calls",
                       extraTime(smallCase, calls), "us", std::nullopt});
    // The third makes the launcher's own library and system calls as well, and nothing else: what
    // the launcher costs on top of it is what its code adds to the calls themselves.
    std::string allCalls = launcherCallsCaseName(placement);
    details.push_back({"wall time, launcher with " + where + " archive - all its calls",
                       extraTime(smallCase, allCalls), "us", std::nullopt});
    details.push_back({"wall time, launcher with " + where + " archive / all its calls",
                       ratio(smallCase, allCalls), "", std::nullopt});
    details.push_back({"wall time, all calls for " + where + " archive / baseline",
                       ratio(allCalls, case_names::kBaseline), "", std::nullopt});
    details.push_back({"10th percentile, launcher with " + where + " archive / baseline",
                       ratio(smallCase, case_names::kBaseline, &CaseMedian::lowSeconds), "",
                       std::nullopt});
    details.push_back({"10th percentile, all calls for " + where + " archive / baseline",
                       ratio(allCalls, case_names::kBaseline, &CaseMedian::lowSeconds), "",
                       std::nullopt});
    // With the empty runtime the runtime's share of a launch is gone: what is left over the bare
    // baseline is the prescribed calls and the loader's binding of them, whatever the runtime.
    std::string emptyCalls = emptyRuntimeCaseName("launcher-calls", placement);
    std::string emptyLauncher = emptyRuntimeCaseName("launcher", placement);
    const std::string emptyBaseline = case_names::kEmptyRuntimeBaseline;
    for (const auto& [program, what] :
         {std::pair{emptyRuntimeCaseName("runtime-calls", placement),
                    "runtime calls for " + where + " archive"},
          std::pair{emptyCalls, "all the launcher's calls for " + where + " archive"},
          std::pair{emptyLauncher, "launcher with " + where + " archive"}}) {
      floor.push_back({"instructions, " + what + " / baseline",
                       ratio(program, emptyBaseline, instructions), "", 1.02});
      floor.push_back(
          {"wall time, " + what + " / baseline", ratio(program, emptyBaseline), "", 1.03});
    }
    floor.push_back({"instructions, launcher with " + where + " archive - all its calls",
                     extra(emptyLauncher, emptyCalls, instructions), "instructions", std::nullopt});
    details.push_back({"wall time, verbose / quiet, " + where + " archive",
                       ratio(verboseCase, smallCase), "", std::nullopt});
    details.push_back({"instructions, verbose / quiet, " + where + " archive",
                       ratio(verboseCase, smallCase, instructions), "", std::nullopt});
  }
  for (int length : kLibraryPathLengths) {
    std::string launcher = libraryPathCaseName("launcher/sidecar", length);
    std::string baseline = libraryPathCaseName("baseline", length);
    std::string what = "LD_LIBRARY_PATH of " + std::to_string(length) + " entries";
    details.push_back({"wall time, " + what + ", launcher - baseline",
                       extraTime(launcher, baseline), "us", std::nullopt});
    details.push_back({"wall time, " + what + ", launcher / baseline", ratio(launcher, baseline),
                       "", std::nullopt});
  }
  printRows("Start-up targets (medians of this run)", targets, out);
  printRows("Details", details, out);
  printRows("The same targets with the empty runtime, which does nothing: their floor", floor, out);
  printConsistency(medians, out);

  out << "\nMedians (and 10th percentiles), instructions of one start\n";
  char line[256];
  for (const auto& [name, median] : medians.all()) {
    if (median.seconds > 0) {
      snprintf(line, sizeof line, "%-60s %12.2f us", name.c_str(), median.seconds * 1e6);
    } else {
      snprintf(line, sizeof line, "%-60s %12s   ", name.c_str(), "-");
    }
    out << line;
    if (median.lowSeconds > 0) {
      snprintf(line, sizeof line, " (%.2f us)", median.lowSeconds * 1e6);
      out << line;
    }
    if (median.instructions > 0) {
      snprintf(line, sizeof line, " %12.0f instructions", median.instructions);
      out << line;
    }
    if (median.peakRssKiB > 0) {
      snprintf(line, sizeof line, " %10.0f KiB peak RSS", median.peakRssKiB);
      out << line;
    }
    out << "\n";
  }
}
