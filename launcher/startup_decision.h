// What the launcher's start-up decides for an executable before it calls the runtime: where the
// archive is, whether its data block is an application for this launcher, and whether the
// run-time library is installed. The launcher and `qpa check` both take these steps through
// decideStartup, so that the tool can never tell a deployment apart from what the launcher does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/data_block.h"
#include "runtime_search/runtime_search.h"

// Where start-up ends before the runtime is called, if it does.
enum class StartupFailure {
  kNone,              // the launcher goes on to initialize the runtime
  kNoArchive,         // not embedded, and the sibling archive does not exist
  kNotAnApplication,  // the block is unreadable, refused, or not for runtime 7.14
  kRuntimeMissing,    // the version-specific run-time library is nowhere to be found
};

struct StartupDecision {
  std::string executablePath;
  std::string applicationDirectory;
  bool archiveEmbedded = false;
  std::string archivePath;
  bool archiveExists = false;
  // Read once the archive exists. |blockRefusal| says why the reader did not accept it, and is
  // empty when it did.
  DataBlock dataBlock;
  std::string blockRefusal;
  bool versionAccepted = false;
  // Run once the version is accepted.
  RuntimeSearch runtimeSearch;
  // Once the library is found: absent when the start message's first byte is NUL, so that
  // nothing is shown; otherwise the trimmed text of the "Starting Up" line, which is empty when
  // only the "Initializing" line is shown.
  std::optional<std::string> startMessage;

  StartupFailure failure = StartupFailure::kNone;
  // The messages that the launcher reports through reportError for the failure, in order.
  std::vector<std::string> errorMessages;

  bool reachesRuntime() const { return failure == StartupFailure::kNone; }
};

// Takes the launcher's start-up steps for the executable at |executablePath| (an absolute path),
// up to the first failure or to the point where the runtime is called, which it never is.
// |libraryPath| is the value of LD_LIBRARY_PATH, absent when it is unset. The launcher's verbose
// lines (status lines, data block listings, search trace) are appended to |verbose| in the order
// of the steps, when it is given; nothing is reported otherwise.
StartupDecision decideStartup(const std::string& executablePath,
                              const std::optional<std::string>& libraryPath, std::string* verbose);
