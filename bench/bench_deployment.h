// One deployment that the start-up benchmark runs: the application laid out as the tests lay it
// out (the launcher named app, the stand-in or the empty runtime beside it, the runtime library
// file in runtime/tzora64), with a sparse archive beside the launcher as app.qpa or appended to it.
// The two baselines lie beside the launcher, so that all three load the same library file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/deployment.h"

inline constexpr uint64_t kKiB = 1024;
inline constexpr uint64_t kGiB = 1024 * 1024 * kKiB;

enum class ArchivePlacement { kSidecar, kAppended };

struct DeploymentShape {
  ArchivePlacement placement = ArchivePlacement::kSidecar;
  uint64_t archiveSize = 16 * kKiB;  // payload and data block together
  bool platformLibrary = true;       // the runtime library file in runtime/tzora64
  // Initialised, so that GCC 12 does not warn of it in a designated initializer that leaves it out.
  std::string startMessage = "";  // the launcher's archive's; the runtime-calls one has none
  bool emptyRuntime = false;      // the empty runtime as the proxy library, not the stand-in
};

// The files that the deployments share through hard links: copies of what the build made, so that
// every case runs the same files and the same cached pages. Only a launcher with an appended
// archive is a file of its own.
struct SharedBinaries {
  std::string launcher;
  std::string baseline;
  std::string runtimeCalls;
  std::string standin;
  std::string emptyRuntime;
  std::string portableLauncher;  // empty when tools/build-portable.sh has not built it
};

// Copies the built binaries into the new directory |dir|, the portable launcher when it exists.
bool copyBuiltBinaries(const std::string& dir, SharedBinaries* binaries, std::string* err);

struct BenchDeployment {
  std::string dir;
  std::string executable;    // dir/app
  std::string baseline;      // dir/baseline
  std::string runtimeCalls;  // dir/runtime-calls, with the archive appended as the launcher has
  std::vector<std::string> runtimeCallsArgs;  // its arguments for this deployment
  std::string archive;  // dir/app.qpa, or the executable when the archive is appended
};

// Lays out a deployment in the new directory |dir|.
bool makeDeployment(const std::string& dir, const DeploymentShape& shape,
                    const SharedBinaries& binaries, BenchDeployment* deployment, std::string* err);

// Writes an archive of |archiveSize| bytes into the file at |path|, starting at byte |start| (the
// file is cut or extended to end with the archive). The payload is "#" and then a hole of zero
// bytes, which costs no disk space however large. The stand-in's program ends at the first zero
// byte, so it is one comment line, which does nothing and returns 0, and the stand-in reads the
// same few bytes of it whatever the archive's size. The data block is the default one, its
// embeddedArchiveParam set to |start| and its start message to |startMessage|.
bool writeSparseArchive(const std::string& path, uint64_t start, uint64_t archiveSize,
                        const std::string& startMessage, std::string* err);

// Makes the directories p/0 .. p/(count - 2), all empty, and h, which holds the runtime library
// file, below |dir|: the entries of a library path whose only hit is its last entry.
bool makeLibraryPathDirectories(const std::string& dir, int count, std::string* err);

// The library path of |count| entries over those directories, each entry |prefix| followed by
// p/i, and h last.
std::string libraryPathValue(const std::string& prefix, int count);

// The launcher that tools/build-portable.sh builds in its Debian 11 root.
std::string portableLauncherPath();
// Where the build put the benchmark's own binaries; the launcher's and the stand-in's are the
// tests'.
std::string builtBaselinePath();
std::string builtRuntimeCallsPath();
std::string builtEmptyRuntimePath();
std::string builtProbePath();
