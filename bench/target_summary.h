// The start-up targets, each computed from the medians of one run of the benchmark and shown
// against its limit, then every case's median. Nothing is asserted: a missed target is shown as
// missed.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>

struct CaseMedian {
  double seconds = 0;       // median wall time of one run
  double lowSeconds = 0;    // 10th percentile of the wall time, 0 when the case has none
  double peakRssKiB = 0;    // median of the peak resident set counter, 0 when the case has none
  double instructions = 0;  // instructions of one start, 0 when the case has no count
};

// The console reporter, keeping the median (and the 10th percentile) of every case as it is
// reported.
class MedianRecorder : public benchmark::ConsoleReporter {
 public:
  MedianRecorder() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  // Keeps the instruction count of a case, counted before the timing, so that the targets in
  // instructions stand even when a filter leaves the case untimed.
  void recordInstructions(const std::string& name, double count);
  std::optional<CaseMedian> median(const std::string& name) const;
  const std::map<std::string, CaseMedian>& all() const { return medians_; }
  bool empty() const { return medians_.empty(); }

 private:
  std::map<std::string, CaseMedian> medians_;
};

void printTargets(const MedianRecorder& medians, std::ostream& out);
