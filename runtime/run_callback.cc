#include "runtime/run_callback.h"

#include "base/diagnostics.h"
#include "base/launcher_state.h"
#include "runtime/output_handlers.h"
#include "runtime/runtime_error.h"

zekComponentInstance componentInstance = nullptr;

bool createComponentInstance(zekTextHandler onError, zekTextHandler onOutput) {
  const LauncherState& state = launcherState();
  const DataBlock& block = *state.dataBlock;
  if (state.archiveEmbedded) {
    zekStream stream = zekGetEmbeddedQpaStream_proxy(
        reinterpret_cast<void*>(&createComponentInstance), block.embeddedArchiveParam);
    bool created = zekInitializeComponentInstanceEmbedded_proxy(
        &componentInstance, onError, onOutput, stream, block.embeddedArchiveParam);
    zekDestroyStream_proxy(stream);
    return created;
  }
  return zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
      &componentInstance, state.applicationDirectory.c_str(), block.componentParam.c_str(), 0,
      onError, onOutput);
}

int runApplicationMain(int argc, char** argv) {
  const DataBlock& block = *launcherState().dataBlock;
  if (!createComponentInstance(errorHandler, outputHandler)) {
    reportError("Initialize component instance failed.");
    reportLastRuntimeError();
    return -1;
  }

  int count = zekSetCmdLineUserData_proxy(zekGetID_proxy(componentInstance), argc, argv);
  int status = -1;
  if (count == -1) {
    reportLastRuntimeError();
  } else {
    if (block.completeMessage.c_str()[0] != '\0') {
      outputHandler(block.completeMessage.c_str());
      outputHandler("\n");
    }
    status =
        zekMain_proxy(componentInstance, count, argv, block.mainParam.c_str(), block.mainIntParam);
  }

  if (componentInstance && !zekTerminateInstance_proxy(&componentInstance))
    reportLastRuntimeError();
  if (!zekTerminateApplication_proxy()) reportLastRuntimeError();
  return status;
}
