// The qpa copy benchmark: pack, embed, extract and strip on inputs of growing size, each timed
// beside cp of the file it reads, in one run, with their peak resident sets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CopySize {
  std::string name;  // as the table shows it
  uint64_t bytes = 0;
  bool sparse = false;  // a few MiB of data, holes elsewhere; otherwise random bytes throughout
};

struct CopyRow {
  std::string size;
  std::string command;
  double seconds = 0;        // median wall time of the qpa command
  double cpSeconds = 0;      // median wall time of cp of the same input
  double cpSyncSeconds = 0;  // the same cp followed by sync of its output
  long peakRssKiB = 0;       // of the qpa command
  long cpPeakRssKiB = 0;
};

struct CopyBenchmarkSetup {
  std::string qpaPath, launcherPath, probePath;
  std::string scratchDir;  // made and removed by the benchmark; must not exist
  int repetitions = 5;
};

// Lays out the inputs of |size| in the scratch directory, runs every command and its cp
// |repetitions| times, interleaved, and appends one row a command to |rows|. The inputs are
// removed afterwards.
bool runCopySize(const CopyBenchmarkSetup& setup, const CopySize& size, std::vector<CopyRow>* rows,
                 std::string* err);

// The rows as a Markdown table, and the targets as met or missed.
std::string copyTable(const std::vector<CopyRow>& rows);
std::string copyTargets(const std::vector<CopyRow>& rows, const std::string& targetSize);
