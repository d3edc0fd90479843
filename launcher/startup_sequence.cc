#include "launcher/startup_sequence.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "archive/required_version.h"
#include "base/descriptor_output.h"
#include "base/diagnostics.h"
#include "base/launcher_state.h"
#include "launcher/executable_path.h"
#include "launcher/startup_decision.h"
#include "runtime/run_callback.h"
#include "runtime/runtime_error.h"
#include "runtime/zek_proxy.h"

namespace {

void showStartMessage(const std::string& line) {
  writeToDescriptor(STDOUT_FILENO,
                    {"Initializing Korvel Compiler Runtime version ", requiredMajorVersion, ".",
                     requiredMinorVersion, requiredUpdateSuffix, "\n"});
  if (!line.empty()) reportLine(line.c_str(), "Starting Up");
}

bool initializeApplication(const std::string& archivePath) {
  char** options = nullptr;
  int64_t count = getInitOptionsFromQpaFile_proxy(&options, archivePath.c_str());
  bool initialized = zekInitializeApplication_proxy(options, count);
  zekFreeStrArray_proxy(options, count);
  return initialized;
}

}  // namespace

int runStartupSequence(int argc, char** argv) {
  LauncherState& state = launcherState();
  updateVerboseFromEnvironment();

  std::string executable;
  if (!locateOwnExecutable(reinterpret_cast<const void*>(&createComponentInstance), &executable)) {
    reportError("Could not find the current executable file.");
    return -1;
  }
  std::optional<std::string> libraryPath;
  if (const char* value = getenv("LD_LIBRARY_PATH")) libraryPath = value;
  // The verbose lines are collected while the decision is taken, which writes nothing, and are out
  // before anything else is written.
  std::string verboseLines;
  StartupDecision decision =
      decideStartup(executable, libraryPath, state.verbose ? &verboseLines : nullptr);
  writeToDescriptor(STDOUT_FILENO, {verboseLines});
  state.applicationDirectory = std::move(decision.applicationDirectory);
  state.archiveEmbedded = decision.archiveEmbedded;
  state.archivePath = std::move(decision.archivePath);
  state.dataBlock = new DataBlock(std::move(decision.dataBlock));
  if (!decision.reachesRuntime()) {
    for (const std::string& message : decision.errorMessages) reportError(message.c_str());
    return -1;
  }

  if (decision.startMessage) showStartMessage(*decision.startMessage);

  if (!zekztvInitialize_proxy()) {
    reportError("zekztv initialization failed");
    return -1;
  }
  if (!initializeApplication(state.archivePath)) {
    reportError("Application initialization failed.");
    reportLastRuntimeError();
    return -1;
  }
  reportStatus("zekInitializeApplication completed");
  return zekRunMain_proxy(runApplicationMain, argc, argv);
}
