// Deployments of the launcher as a user installs one: the launcher with the stand-in proxy library
// beside it and the version-specific runtime library in runtime/tzora64, the archive beside it or
// appended. The end-to-end tests run it as a process with an environment the test sets whole; the
// benchmark lays out its deployments the same way.
#pragma once

#include <string>
#include <vector>

#include "archive/data_block_writer.h"
#include "tests/file_bytes.h"
#include "tests/process_runner.h"
#include "tests/scratch_directory.h"

// The proxy library's file name, which the launcher needs, and the runtime library's file name,
// which the default block's versions name.
inline constexpr char kProxyLibraryName[] = "libqxzekztvrt.so";
inline constexpr char kRuntimeLibraryName[] = "libqxzekztvrt.so.7.14.1";

// The launcher under test: KORVEL_TEST_LAUNCHER when set, else the one the build put beside the
// stand-in.
std::string builtLauncherPath();
// Where the build put the stand-in.
std::string builtStandinPath();

// Where the two binaries of a deployment come from.
struct ApplicationSources {
  std::string launcher;
  std::string standin;
  // A hard link instead of a copy, so that the deployments share one file and its cached pages.
  bool linkLauncher = false;
  bool linkStandin = false;
  // The empty version-specific runtime library file in runtime/tzora64.
  bool runtimeLibrary = true;
};

// Lays out |dir|/|name| (the launcher), |dir|/libqxzekztvrt.so (the stand-in) and
// |dir|/runtime/tzora64, making the directories that are missing.
bool layOutApplication(const std::string& dir, const std::string& name,
                       const ApplicationSources& sources, std::string* err);

struct LauncherRun {
  int status = -1;
  std::string out;
  std::string err;
  std::string trace;  // the stand-in's call trace, one line per call
  bool timedOut = false;
  long peakResidentKiB = 0;
};

class Deployment {
 public:
  // Lays out root/app/NAME (the launcher), root/app/libqxzekztvrt.so and
  // root/app/runtime/tzora64/libqxzekztvrt.so.7.14.1, root being a new directory in |parent|.
  explicit Deployment(const std::string& name = "app", const std::string& parent = "/tmp");
  Deployment(const Deployment&) = delete;
  Deployment& operator=(const Deployment&) = delete;

  const std::string& root() const { return root_; }
  const std::string& appDir() const { return appDir_; }
  const std::string& executable() const { return executable_; }
  std::string sidecarPath() const { return executable_ + ".qpa"; }
  std::string tracePath() const { return root_ + "/trace"; }

  // Writes an archive (payload, then the block built from |fields|) at |path|.
  static void writeArchive(const std::string& path, const std::string& payload,
                           const DataBlockFields& fields = {});
  void writeSidecar(const std::string& payload, const DataBlockFields& fields = {}) {
    writeArchive(sidecarPath(), payload, fields);
  }
  // Appends payload and block to the launcher copy, the block's embeddedArchiveParam pointing at
  // the payload, as the qpa tool does.
  void embed(const std::string& payload, DataBlockFields fields = {});
  void appendToExecutable(const std::string& bytes);
  void removeRuntimeLibrary();
  // Copies the built program at |path| into the deployment and returns the copy's path: a program
  // run as another user must not depend on that user reaching the build tree.
  std::string stage(const std::string& path) const;

  // The environment every run starts from: PATH and the stand-in's trace file, nothing else.
  std::vector<std::string> baseEnvironment() const;

  // Runs the executable with argv[0] = its absolute path, then |args|; |env| is added to the base
  // environment.
  LauncherRun run(const std::vector<std::string>& args = {},
                  const std::vector<std::string>& env = {}) const;
  // Runs |launch| as it is (the test chooses program, argv, environment and directory) and
  // collects the trace.
  LauncherRun runWith(const ProcessLaunch& launch) const;

 private:
  // In /tmp by default, never TMPDIR: a test that drops to another user needs a root that user
  // can reach.
  ScratchDirectory scratch_;
  std::string root_, appDir_, executable_;
};

// |text| with $EXE (the executable), $DIR (the application directory), $ROOT (the deployment's
// root) and $LIB (the version-specific runtime library's name) replaced: expected texts and
// laid-out paths are written once for any deployment.
std::string expand(std::string text, const Deployment& d);
// Lays out |entries| after expand(): "PATH" is an empty file, "PATH/" a directory and
// "PATH -> TARGET" a symbolic link. Missing parent directories are made.
void layOut(const Deployment& d, const std::vector<std::string>& entries);

// The unprivileged user that tests drop to when a case needs permissions to bite (CI runs as
// root).
inline constexpr int kUnprivilegedUid = 65534;
// Gives the deployment's root directory to |uid|, so that the stand-in, run as that user, can
// create its trace file there.
void giveRootTo(const Deployment& d, int uid);
