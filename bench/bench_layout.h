// Every deployment that the benchmark's cases run, made once in one scratch directory.
#pragma once

#include <array>
#include <string>

#include "bench/bench_deployment.h"

struct ArchiveScale {
  const char* label;
  uint64_t size;
};

// The archive sizes of the scale cases; the first is the size of every other case's archive.
inline constexpr std::array<ArchiveScale, 3> kArchiveScales = {
    {{"16KiB", 16 * kKiB}, {"1GiB", kGiB}, {"4GiB", 4 * kGiB}}};

// The start message of the start message cases: most applications have one.
inline constexpr char kStartMessage[] = "hi";

// The library path lengths of the search cases.
inline constexpr std::array<int, 3> kLibraryPathLengths = {1, 100, 10000};

struct BenchLayout {
  std::array<BenchDeployment, kArchiveScales.size()> sidecar;
  std::array<BenchDeployment, kArchiveScales.size()> appended;
  // The smallest archive of each placement with kStartMessage as its start message.
  BenchDeployment sidecarStartMessage;
  BenchDeployment appendedStartMessage;
  // The smallest archive of each placement with the empty runtime as the proxy library.
  BenchDeployment emptyRuntimeSidecar;
  BenchDeployment emptyRuntimeAppended;
  // A sidecar deployment without the runtime library file in runtime/tzora64, with the library
  // path directories of makeLibraryPathDirectories in it.
  BenchDeployment libraryPath;
  // The smallest archive's two deployments with the portable launcher, when it was built.
  bool portable = false;
  BenchDeployment portableSidecar;
  BenchDeployment portableAppended;
};

bool makeBenchLayout(const std::string& root, BenchLayout* layout, std::string* err);
