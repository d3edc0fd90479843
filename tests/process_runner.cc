#include "tests/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

double now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

bool runProcess(const ProcessLaunch& launch, ProcessOutcome* result, std::string* err) {
  *result = ProcessOutcome();
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    *err = std::string("pipe: ") + strerror(errno);
    return false;
  }
  std::vector<char*> argv = execArray(launch.argv);
  std::vector<char*> env = execArray(launch.env);
  pid_t pid = fork();
  if (pid < 0) {
    *err = std::string("fork: ") + strerror(errno);
    return false;
  }
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    if (!launch.chroot.empty() && (chroot(launch.chroot.c_str()) != 0 || chdir("/") != 0))
      _exit(126);
    if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) _exit(126);
    if (launch.uid >= 0 && (setgid(launch.uid) != 0 || setuid(launch.uid) != 0)) _exit(126);
    execve(launch.program.c_str(), argv.data(), env.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);

  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result->out, &result->err};
  int open = 2;
  double deadline = now() + launch.timeoutSeconds;
  while (open > 0) {
    int wait = static_cast<int>((deadline - now()) * 1000);
    if (wait <= 0) {
      result->timedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, wait) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char chunk[65536];
      ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result->peakResidentKiB = usage.ru_maxrss;
  result->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}
