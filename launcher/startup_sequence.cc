#include "launcher/startup_sequence.h"

#include <boost/algorithm/string/trim.hpp>
#include <iostream>
#include <locale>
#include <string>

#include "archive/data_block_reader.h"
#include "archive/embedded_probe.h"
#include "launcher/diagnostics.h"
#include "launcher/executable_path.h"
#include "launcher/launcher_state.h"
#include "launcher/path_operations.h"
#include "launcher/required_version.h"
#include "runtime/run_callback.h"
#include "runtime/runtime_error.h"
#include "runtime/zek_proxy.h"
#include "runtime_search/runtime_search.h"

namespace {

void reportStatus(const std::string& message) { ::reportStatus(message.c_str()); }

void showStartMessage(const std::string& startMessage) {
  std::cout << "Initializing Korvel Compiler Runtime version " << requiredMajorVersion << "."
            << requiredMinorVersion << requiredUpdateSuffix << '\n'
            << std::flush;
  std::string text = boost::algorithm::trim_copy(cString(startMessage), std::locale());
  if (!text.empty()) reportLine(text.c_str(), "Starting Up");
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
  reportStatus("Executable file full name=" + executable);
  state.applicationDirectory = directoryOf(executable);

  std::ostream* listing = state.verbose ? &std::cout : nullptr;
  state.archiveEmbedded = isArchiveEmbedded(executable, listing);
  reportStatus(std::string("QPA is embedded=") + (state.archiveEmbedded ? "true" : "false"));

  if (state.archiveEmbedded) {
    state.archivePath = executable;
  } else {
    state.archivePath = siblingArchivePath(executable);
    if (!fileExists(state.archivePath)) {
      reportError(("Cannot find QPA archive " + state.archivePath).c_str());
      reportError("Error initializing QPA Archive.");
      return -1;
    }
  }
  reportStatus("QPA file name=" + state.archivePath);

  state.dataBlock = new DataBlock;
  std::string refusal;
  readDataBlock(state.archivePath, state.dataBlock, &refusal, listing);
  if (!isRequiredVersion(*state.dataBlock)) {
    reportError("Your application is not a valid Korvel compiled application.");
    return -1;
  }
  if (!locateRuntime(state.applicationDirectory, *state.dataBlock)) return -1;

  if (state.dataBlock->startMessage.c_str()[0] != '\0')
    showStartMessage(state.dataBlock->startMessage);

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
