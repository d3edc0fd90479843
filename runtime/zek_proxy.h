// The C interface of the run-time proxy library libqxzekztvrt.so: the only functions through which
// the launcher reaches the runtime. The real runtime and the stand-in both export exactly these.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {

// The runtime hands the application's text to these; the text is NUL-terminated.
typedef int (*zekTextHandler)(const char* text);
typedef int (*zekRunCallback)(int argc, char** argv);

// Opaque handle of a component instance, written only by the runtime.
typedef void* zekComponentInstance;
typedef void* zekStream;

bool zekztvInitialize_proxy(void);
int64_t getInitOptionsFromQpaFile_proxy(char*** options, const char* archivePath);
bool zekInitializeApplication_proxy(char** options, int64_t count);
void zekFreeStrArray_proxy(char** options, int64_t count);
int zekRunMain_proxy(zekRunCallback callback, int argc, char** argv);
const char* zekGetLastErrorMessage_proxy(void);

zekStream zekGetEmbeddedQpaStream_proxy(void* codeAddress, int64_t embeddedArchiveParam);
bool zekInitializeComponentInstanceEmbedded_proxy(zekComponentInstance* instance,
                                                  zekTextHandler errorHandler,
                                                  zekTextHandler outputHandler, zekStream stream,
                                                  int64_t embeddedArchiveParam);
void zekDestroyStream_proxy(zekStream stream);
bool zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
    zekComponentInstance* instance, const char* applicationDirectory, const char* componentParam,
    int reserved, zekTextHandler errorHandler, zekTextHandler outputHandler);

intptr_t zekGetID_proxy(zekComponentInstance instance);
int zekSetCmdLineUserData_proxy(intptr_t id, int argc, char** argv);
int zekMain_proxy(zekComponentInstance instance, int argc, char** argv, const char* mainParam,
                  int32_t mainIntParam);
bool zekTerminateInstance_proxy(zekComponentInstance* instance);
bool zekTerminateApplication_proxy(void);

int zekWrite_proxy(int fd, const char* text, size_t length);

}  // extern "C"
