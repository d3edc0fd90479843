// A temporary deployment of the launcher for end-to-end tests: a copy of the launcher with the
// stand-in proxy library beside it and the version-specific runtime library in runtime/tzora64,
// the archive beside it or appended, run as a process with an environment the test sets whole.
#pragma once

#include <string>
#include <vector>

#include "archive/data_block_writer.h"
#include "tests/process_runner.h"

// The launcher under test: KORVEL_TEST_LAUNCHER when set, else the one the build put beside the
// stand-in.
std::string builtLauncherPath();
// Where the build put the stand-in.
std::string builtStandinPath();

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
  ~Deployment();
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
  // Runs |spec| as it is (the test chooses program, argv, environment and directory) and
  // collects the trace.
  LauncherRun runWith(const ProcessSpec& spec) const;

 private:
  std::string root_, appDir_, executable_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

// |text| with $EXE (the executable), $DIR (the application directory), $ROOT (the deployment's
// root) and $LIB (the version-specific runtime library's name) replaced: expected texts and
// laid-out paths are written once for any deployment.
std::string expand(std::string text, const Deployment& d);
// Lays out |entries| after expand(): "PATH" is an empty file, "PATH/" a directory and
// "PATH -> TARGET" a symbolic link. Missing parent directories are made.
void layOut(const Deployment& d, const std::vector<std::string>& entries);

// The verbose listing of a block built from the default fields with these two texts.
std::string defaultBlockListing(const std::string& start = "", const std::string& complete = "");

// The unprivileged user that tests drop to when a case needs permissions to bite (CI runs as
// root).
inline constexpr int kUnprivilegedUid = 65534;
// Gives the deployment's root directory to |uid|, so that the stand-in, run as that user, can
// create its trace file there.
void giveRootTo(const Deployment& d, int uid);
