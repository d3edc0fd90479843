#include "tools/qpa_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string drain(int fd) {
  std::string bytes;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
  close(fd);
  return bytes;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& env) {
  // Memory files rather than pipes: the child can write any amount without a reader.
  int outFd = memfd_create("qpa-stdout", MFD_CLOEXEC);
  int errFd = memfd_create("qpa-stderr", MFD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);

  std::vector<std::string> argvTexts{program};
  argvTexts.insert(argvTexts.end(), args.begin(), args.end());
  std::vector<std::string> envTexts = env;
  std::vector<char*> argv = pointers(argvTexts);
  std::vector<char*> envp = pointers(envTexts);

  ProcessResult result;
  pid_t pid;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == 0) {
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  } else {
    ADD_FAILURE() << "cannot start " << program << ": " << strerror(spawned);
  }
  result.out = drain(outFd);
  result.err = drain(errFd);
  return result;
}

ProcessResult runQpa(const std::vector<std::string>& args) {
  return runProcess(QPA_PATH, args, {});
}

ScratchDir::ScratchDir() {
  std::string pattern = std::filesystem::temp_directory_path() / "qpa-test-XXXXXX";
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a scratch directory";
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::set<std::string> ScratchDir::names() const {
  std::set<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    out.insert(entry.path().filename());
  }
  return out;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  chmod(path.c_str(), mode);
}

mode_t permissionBits(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

void expectRefused(const ScratchDir& dir, const std::vector<RefusedRun>& runs) {
  const std::set<std::string> before = dir.names();
  for (const RefusedRun& run : runs) {
    ProcessResult result = runQpa(run.args);
    EXPECT_EQ(result.status, 1) << run.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, run.err);
    EXPECT_EQ(dir.names(), before) << run.err;
  }
}

void PackedAppTest::packApp(const std::string& payloadBytes, mode_t launcherMode,
                            const std::vector<std::string>& packOptions) {
  writeFile(payload_, payloadBytes);
  writeFile(launcher_, launcherBytes_, launcherMode);
  std::vector<std::string> pack = {"pack", payload_, "-o", archive_};
  pack.insert(pack.end(), packOptions.begin(), packOptions.end());
  ProcessResult run = runQpa(pack);
  ASSERT_EQ(run.status, 0) << run.err;
}

void PackedAppTest::makeApp(const std::string& payloadBytes, mode_t launcherMode,
                            const std::vector<std::string>& packOptions) {
  ASSERT_NO_FATAL_FAILURE(packApp(payloadBytes, launcherMode, packOptions));
  ProcessResult run = runQpa({"embed", launcher_, archive_, "-o", exe_});
  ASSERT_EQ(run.status, 0) << run.err;
}
