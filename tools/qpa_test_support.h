// What the qpa tests share: running the real qpa binary, and a scratch directory for its files.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // the exit status, or -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs |program| with |args| and an environment of just |env|, capturing both output streams.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env);

// Runs the qpa binary under test with an empty environment.
ProcessResult runQpa(const std::vector<std::string>& args);

// A fresh directory, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // The names in the directory, hidden ones included.
  std::set<std::string> names() const;

 private:
  std::string path_;
};

// A bad invocation of qpa and the one error line it must answer with.
struct RefusedRun {
  std::vector<std::string> args;
  std::string err;
};
// Runs each: exit status 1, nothing on standard output, exactly its error line, and |dir| left as
// it was, with no partial or temporary file.
void expectRefused(const ScratchDir& dir, const std::vector<RefusedRun>& runs);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0644);
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

  ScratchDir dir_;
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
