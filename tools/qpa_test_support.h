// What the qpa tests share: running the real qpa binary on files in a scratch directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/file_bytes.h"
#include "tests/process_runner.h"
#include "tests/scratch_directory.h"

// Runs |program| with |args| (argv[0] is |program|) and an environment of just |env|, capturing
// both output streams; a child that cannot be started fails the test.
ProcessOutcome runProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& env);

// Runs the qpa binary under test with an empty environment.
ProcessOutcome runQpa(const std::vector<std::string>& args);

// A bad invocation of qpa and the one error line it must answer with.
struct RefusedRun {
  std::vector<std::string> args;
  std::string err;
};
// Runs each: exit status 1, nothing on standard output, exactly its error line, and |dir| left as
// it was, with no partial or temporary file.
void expectRefused(const ScratchDirectory& dir, const std::vector<RefusedRun>& runs);

mode_t permissionBits(const std::string& path);

// The files the embed, extract and strip tests start from: a payload packed into app.qpa, and that
// archive appended to a stand-in launcher (the ELF magic, a few bytes of every kind, and 20,000
// more) as app.
class PackedAppTest : public testing::Test {
 protected:
  // Writes the payload and the launcher, then packs with |packOptions|.
  void packApp(const std::string& payloadBytes, mode_t launcherMode,
               const std::vector<std::string>& packOptions = {});
  // What packApp makes, then embeds the archive into app.
  void makeApp(const std::string& payloadBytes, mode_t launcherMode,
               const std::vector<std::string>& packOptions = {});

  ScratchDirectory dir_;
  std::string payload_ = dir_.file("app.payload");
  std::string archive_ = dir_.file("app.qpa");
  std::string launcher_ = dir_.file("launcher");
  std::string exe_ = dir_.file("app");
  std::string out_ = dir_.file("out");
  // The NUL and control bytes show that the launcher is copied as bytes, not as text.
  std::string launcherBytes_ = std::string(
                                   "\x7f"
                                   "ELF stand-in\0\x01\x02",
                                   16) +
                               std::string(20000, 'L');
};
