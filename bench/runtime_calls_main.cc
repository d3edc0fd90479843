// startup_runtime_calls: the second baseline of the start-up benchmark. Linked as the launcher is,
// it makes the launcher's runtime calls for a sidecar or an appended archive, with the same
// arguments, and none of its own start-up work: what the launcher costs on top of this is its own
// work alone, and what this costs on top of the bare baseline is the runtime's share of a launch.
// The runtime is handed the command line without the mode's arguments, as the launcher's would
// be.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/output_handlers.h"
#include "runtime/zek_proxy.h"

namespace {

constexpr char kUsage[] =
    "usage: startup_runtime_calls sidecar ARCHIVE APPLICATION_DIRECTORY\n"
    "       startup_runtime_calls appended ARCHIVE OFFSET\n"
    "Makes the launcher's runtime calls for the sidecar archive ARCHIVE of a launcher in\n"
    "APPLICATION_DIRECTORY, or for an archive appended to this program's own file ARCHIVE at\n"
    "byte OFFSET, and none of the launcher's own start-up work.\n";

bool appended = false;
const char* applicationDirectory = nullptr;
int64_t embeddedArchiveParam = 0;
zekComponentInstance instance = nullptr;

bool createInstance() {
  if (!appended) {
    return zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
        &instance, applicationDirectory, "", 0, errorHandler, outputHandler);
  }
  zekStream stream =
      zekGetEmbeddedQpaStream_proxy(reinterpret_cast<void*>(&createInstance), embeddedArchiveParam);
  bool created = zekInitializeComponentInstanceEmbedded_proxy(
      &instance, errorHandler, outputHandler, stream, embeddedArchiveParam);
  zekDestroyStream_proxy(stream);
  return created;
}

int runApplication(int argc, char** argv) {
  if (!createInstance()) return -1;
  int count = zekSetCmdLineUserData_proxy(zekGetID_proxy(instance), argc, argv);
  int status = count == -1 ? -1 : zekMain_proxy(instance, count, argv, "", 0);
  if (instance) zekTerminateInstance_proxy(&instance);
  zekTerminateApplication_proxy();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return 0;
  }
  char* end = nullptr;
  appended = argc == 4 && strcmp(argv[1], "appended") == 0;
  if (appended) embeddedArchiveParam = strtoll(argv[3], &end, 10);
  if (argc != 4 || (!appended && strcmp(argv[1], "sidecar") != 0) ||
      (appended && (end == argv[3] || *end != '\0' || embeddedArchiveParam < 0))) {
    fputs(kUsage, stderr);
    return 2;
  }
  applicationDirectory = argv[3];
  if (!zekztvInitialize_proxy()) return -1;
  char** options = nullptr;
  int64_t count = getInitOptionsFromQpaFile_proxy(&options, argv[2]);
  bool initialized = zekInitializeApplication_proxy(options, count);
  zekFreeStrArray_proxy(options, count);
  if (!initialized) return -1;
  return zekRunMain_proxy(runApplication, 1, argv);
}
