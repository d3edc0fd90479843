// The in-process cases: the launcher's start-up steps that touch the archive and the file system,
// timed inside the benchmark's own process.
#pragma once

#include "bench/bench_layout.h"

// Registers readDataBlock on the smallest and the largest archive of each placement,
// parseDataBlock on a block with every text present, and searchRuntimeLibrary (verbose off) with
// its hit in the platform directory and at the end of each library path length.
void registerInProcessCases(const BenchLayout& layout);
