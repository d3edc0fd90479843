// startup_runtime_calls: the second baseline of the start-up benchmark. Linked as the launcher is,
// it makes the launcher's runtime calls for a sidecar archive, with the same arguments, and none
// of its own start-up work: what the launcher costs on top of this is its own work alone, and
// what this costs on top of the bare baseline is the runtime's share of a launch.
//
// usage: startup_runtime_calls ARCHIVE APPLICATION_DIRECTORY
// The runtime is handed the command line without the two arguments, as the launcher's would be.
#include <cstdio>
#include <cstring>

#include "runtime/output_handlers.h"
#include "runtime/zek_proxy.h"

namespace {

const char* applicationDirectory = nullptr;
zekComponentInstance instance = nullptr;

int runApplication(int argc, char** argv) {
  if (!zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
          &instance, applicationDirectory, "", 0, errorHandler, outputHandler)) {
    return -1;
  }
  int count = zekSetCmdLineUserData_proxy(zekGetID_proxy(instance), argc, argv);
  int status = count == -1 ? -1 : zekMain_proxy(instance, count, argv, "", 0);
  if (instance) zekTerminateInstance_proxy(&instance);
  zekTerminateApplication_proxy();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  bool help = argc == 2 && strcmp(argv[1], "--help") == 0;
  if (argc != 3) {
    fputs(
        "usage: startup_runtime_calls ARCHIVE APPLICATION_DIRECTORY\n"
        "Makes the launcher's runtime calls for the sidecar archive ARCHIVE beside the launcher\n"
        "in APPLICATION_DIRECTORY, and none of the launcher's own start-up work.\n",
        help ? stdout : stderr);
    return help ? 0 : 2;
  }
  applicationDirectory = argv[2];
  if (!zekztvInitialize_proxy()) return -1;
  char** options = nullptr;
  int64_t count = getInitOptionsFromQpaFile_proxy(&options, argv[1]);
  bool initialized = zekInitializeApplication_proxy(options, count);
  zekFreeStrArray_proxy(options, count);
  if (!initialized) return -1;
  return zekRunMain_proxy(runApplication, 1, argv);
}
