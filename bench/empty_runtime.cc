// The empty runtime: the proxy library's sixteen functions, each doing only what lets a start go
// on (success, a component instance, the callback run on the calling thread) and reading nothing.
// Against it the launcher and the baselines show what a launch costs whatever the runtime does:
// the floor under the targets over the bare baseline.
#include "runtime/zek_proxy.h"

#define EMPTY_RUNTIME_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

char qpaOption[] = "-qpa";
char* options[3];
// The one stream and the one component instance, known by their addresses.
char streamObject;
char instanceObject;

}  // namespace

EMPTY_RUNTIME_EXPORT bool zekztvInitialize_proxy(void) { return true; }

EMPTY_RUNTIME_EXPORT int64_t getInitOptionsFromQpaFile_proxy(char*** out, const char* archive) {
  options[0] = qpaOption;
  options[1] = const_cast<char*>(archive);
  *out = options;
  return 2;
}

EMPTY_RUNTIME_EXPORT bool zekInitializeApplication_proxy(char**, int64_t) { return true; }

EMPTY_RUNTIME_EXPORT void zekFreeStrArray_proxy(char**, int64_t) {}

EMPTY_RUNTIME_EXPORT int zekRunMain_proxy(zekRunCallback callback, int argc, char** argv) {
  return callback(argc, argv);
}

EMPTY_RUNTIME_EXPORT const char* zekGetLastErrorMessage_proxy(void) { return ""; }

EMPTY_RUNTIME_EXPORT zekStream zekGetEmbeddedQpaStream_proxy(void*, int64_t) {
  return &streamObject;
}

EMPTY_RUNTIME_EXPORT bool zekInitializeComponentInstanceEmbedded_proxy(
    zekComponentInstance* instance, zekTextHandler, zekTextHandler, zekStream, int64_t) {
  *instance = &instanceObject;
  return true;
}

EMPTY_RUNTIME_EXPORT void zekDestroyStream_proxy(zekStream) {}

EMPTY_RUNTIME_EXPORT bool zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
    zekComponentInstance* instance, const char*, const char*, int, zekTextHandler, zekTextHandler) {
  *instance = &instanceObject;
  return true;
}

EMPTY_RUNTIME_EXPORT intptr_t zekGetID_proxy(zekComponentInstance) { return 1; }

EMPTY_RUNTIME_EXPORT int zekSetCmdLineUserData_proxy(intptr_t, int argc, char**) { return argc; }

EMPTY_RUNTIME_EXPORT int zekMain_proxy(zekComponentInstance, int, char**, const char*, int32_t) {
  return 0;
}

EMPTY_RUNTIME_EXPORT bool zekTerminateInstance_proxy(zekComponentInstance* instance) {
  *instance = nullptr;
  return true;
}

EMPTY_RUNTIME_EXPORT bool zekTerminateApplication_proxy(void) { return true; }

EMPTY_RUNTIME_EXPORT int zekWrite_proxy(int, const char*, size_t length) {
  return static_cast<int>(length);
}
