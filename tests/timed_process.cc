#include "tests/timed_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The child's descriptors and directory, set up between the fork and the exec.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  bool set(const std::string& cwd, const std::string& outPath, const std::string& errPath,
           const std::string& resultPath) {
    constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
    return posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
           posix_spawn_file_actions_addopen(&actions_, 1, outPath.c_str(), kWrite, 0644) == 0 &&
           posix_spawn_file_actions_addopen(&actions_, 2, errPath.c_str(), kWrite, 0644) == 0 &&
           (resultPath.empty() || posix_spawn_file_actions_addopen(&actions_, 3, resultPath.c_str(),
                                                                   kWrite, 0644) == 0) &&
           (cwd.empty() || posix_spawn_file_actions_addchdir_np(&actions_, cwd.c_str()) == 0);
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

TimedProcess::TimedProcess(ProcessLaunch launch) : launch_(std::move(launch)) {
  argv_ = execArray(launch_.argv);
  env_ = execArray(launch_.env);
}

bool TimedProcess::run(TimedRun* run, std::string* err, const std::string& outPath,
                       const std::string& errPath) const {
  return spawn(launch_.program, argv_.data(), outPath, errPath, "", run, err);
}

bool TimedProcess::measurePeakRss(const std::string& probePath, const std::string& resultPath,
                                  TimedRun* run, std::string* err) const {
  std::vector<std::string> args = {probePath, launch_.program};
  args.insert(args.end(), launch_.argv.begin(), launch_.argv.end());
  std::vector<char*> argv = execArray(args);
  TimedRun probed;
  if (!spawn(probePath, argv.data(), "/dev/null", "/dev/null", resultPath, &probed, err)) {
    return false;
  }
  std::ifstream result(resultPath);
  long peakRssKiB = 0;
  if (!(result >> peakRssKiB)) {
    *err = "the probe gave no peak resident set for " + launch_.program;
    return false;
  }
  *run = TimedRun{probed.status, 0, peakRssKiB};
  return true;
}

bool TimedProcess::spawn(const std::string& program, char* const* argv, const std::string& outPath,
                         const std::string& errPath, const std::string& resultPath, TimedRun* run,
                         std::string* err) const {
  if (!launch_.chroot.empty() || launch_.uid >= 0) {
    *err = "a timed run of " + program + " takes no other root or user";
    return false;
  }
  FileActions actions;
  if (!actions.set(launch_.cwd, outPath, errPath, resultPath)) {
    *err = "cannot set up the descriptors of " + program;
    return false;
  }
  pid_t pid = 0;
  double start = now();
  int error = posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv, env_.data());
  if (error != 0) {
    *err = "cannot start " + program + ": " + strerror(error);
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *err = "cannot wait for " + program + ": " + strerror(errno);
      return false;
    }
  }
  run->seconds = now() - start;
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}
