// startup_runtime_calls: the second and third baselines of the start-up benchmark. Linked as the
// launcher is, it makes the launcher's runtime calls for a sidecar or an appended archive, with the
// same arguments, and none of its own start-up work: what the launcher costs on top of this is its
// own work alone, and what this costs on top of the bare baseline is the runtime's share of a
// launch. With --with-launcher-calls it first makes the launcher's own library and system calls
// too, directly and in the launcher's order, and nothing else: what the launcher costs on top of
// that is what its code adds to the calls that its start-up consists of.
// The runtime is handed the command line without the mode's arguments, as the launcher's would
// be.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/data_block_layout.h"
#include "archive/little_endian.h"
#include "runtime/output_handlers.h"
#include "runtime/zek_proxy.h"
#include "tests/deployment.h"

namespace {

constexpr char kUsage[] =
    "usage: startup_runtime_calls [--with-launcher-calls] sidecar ARCHIVE APPLICATION_DIRECTORY\n"
    "       startup_runtime_calls [--with-launcher-calls] appended ARCHIVE OFFSET\n"
    "Makes the launcher's runtime calls for the sidecar archive ARCHIVE of a launcher in\n"
    "APPLICATION_DIRECTORY, or for an archive appended to this program's own file ARCHIVE at\n"
    "byte OFFSET, and none of the launcher's own start-up work. With --with-launcher-calls, it\n"
    "first makes the launcher's own library and system calls, those of a quiet start run by its\n"
    "absolute name with no library path, and fails in any other start.\n";

bool appended = false;
const char* applicationDirectory = nullptr;
int64_t embeddedArchiveParam = 0;
zekComponentInstance instance = nullptr;

// The last block of the file at |path| into |block|, through the launcher's four system calls,
// and whether its trailer holds the block size.
bool readTailBlock(const char* path, unsigned char* block) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool read =
      fstat(fd, &st) == 0 && st.st_size >= layout::kBlockSize &&
      pread(fd, block, layout::kBlockSize, st.st_size - layout::kBlockSize) == layout::kBlockSize;
  close(fd);
  return read && loadLE32(block + layout::kTrailerField.offset) == layout::kBlockSize;
}

// The launcher's start-up calls before its first runtime call: the environment, the name of its
// own executable (with its buffer cleared), the probe of its own file's last block, the sidecar
// archive's status and block, the runtime library's status. False when one of them does not give
// what the launcher's start-up needs, so that a broken deployment shows.
bool makeLauncherCalls(const char* sidecarArchive) {
  bool verbose = getenv("QPAX_VERBOSE") != nullptr;
  bool libraryPath = getenv("LD_LIBRARY_PATH") != nullptr;
  char path[8193];
  memset(path, 0, sizeof path);
  Dl_info code, program;
  memset(&code, 0, sizeof code);
  memset(&program, 0, sizeof program);
  const char* executed = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  const void* headers = reinterpret_cast<const void*>(getauxval(AT_PHDR));
  if (verbose || libraryPath || !dladdr(reinterpret_cast<void*>(&makeLauncherCalls), &code) ||
      !executed || !dladdr(headers, &program) || strcmp(code.dli_fname, executed) != 0 ||
      code.dli_fname[0] != '/' || strlen(code.dli_fname) >= sizeof path) {
    return false;
  }
  strcpy(path, code.dli_fname);
  unsigned char block[layout::kBlockSize];
  if (readTailBlock(path, block) != appended) return false;
  struct stat st;
  if (!appended && (stat(sidecarArchive, &st) != 0 || !readTailBlock(sidecarArchive, block))) {
    return false;
  }
  // Built in place: a string would add its own calls to those of the launcher.
  size_t directory = strlen(path);
  while (path[directory] != '/') --directory;
  constexpr char kRuntimeDirectory[] = "/runtime/tzora64/";
  if (directory + sizeof kRuntimeDirectory + sizeof kRuntimeLibraryName > sizeof path) return false;
  memcpy(path + directory, kRuntimeDirectory, sizeof kRuntimeDirectory - 1);
  memcpy(path + directory + sizeof kRuntimeDirectory - 1, kRuntimeLibraryName,
         sizeof kRuntimeLibraryName);
  return stat(path, &st) == 0;
}

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
  bool launcherCalls = argc > 1 && strcmp(argv[1], "--with-launcher-calls") == 0;
  char** args = argv + (launcherCalls ? 1 : 0);
  int count = argc - (launcherCalls ? 1 : 0);
  char* end = nullptr;
  appended = count == 4 && strcmp(args[1], "appended") == 0;
  if (appended) embeddedArchiveParam = strtoll(args[3], &end, 10);
  if (count != 4 || (!appended && strcmp(args[1], "sidecar") != 0) ||
      (appended && (end == args[3] || *end != '\0' || embeddedArchiveParam < 0))) {
    fputs(kUsage, stderr);
    return 2;
  }
  applicationDirectory = args[3];
  if (launcherCalls && !makeLauncherCalls(args[2])) {
    fputs("startup_runtime_calls: the launcher's calls did not give what its start-up needs\n",
          stderr);
    return 1;
  }
  if (!zekztvInitialize_proxy()) return -1;
  char** options = nullptr;
  int64_t optionCount = getInitOptionsFromQpaFile_proxy(&options, args[2]);
  bool initialized = zekInitializeApplication_proxy(options, optionCount);
  zekFreeStrArray_proxy(options, optionCount);
  if (!initialized) return -1;
  return zekRunMain_proxy(runApplication, 1, argv);
}
