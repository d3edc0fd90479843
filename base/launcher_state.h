// The process-wide values that start-up writes and the run callback and the runtime search read.
#pragma once

#include <string>

#include "archive/data_block.h"

struct LauncherState {
  bool verbose = false;
  std::string applicationDirectory;
  std::string archivePath;
  bool archiveEmbedded = false;
  // Created once during start-up and deliberately never released: the run callback reads it
  // while the application runs, up to the end of the process.
  DataBlock* dataBlock = nullptr;
};

// The one LauncherState of the process. Written only during start-up, on the main thread, before
// the hand-off to the runtime; only read after it.
LauncherState& launcherState();

// Switches verbose mode on when QPAX_VERBOSE is present, whatever its value; never switches it off.
void updateVerboseFromEnvironment();
