// peak_rss_probe: runs a program and writes its peak resident set, in KiB, to descriptor 3.
//
// The benchmark cannot take this from its own wait4: a child started from the benchmark's large
// address space inherits that space's high-water mark into ru_maxrss, by vfork or by fork alike.
// This small program forks its own, nearly empty, address space instead, so that the figure is
// the program's own.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

int main(int argc, char** argv) {
  bool help = argc == 2 && strcmp(argv[1], "--help") == 0;
  if (argc < 3) {
    fputs(
        "usage: peak_rss_probe PROGRAM ARGV0 [ARG...]\n"
        "Runs PROGRAM with the argument vector ARGV0 ARG..., in this environment and with these\n"
        "descriptors (3 excepted), writes its peak resident set in KiB and a line feed to\n"
        "descriptor 3, and exits with its exit status (128 + N when signal N ended it).\n",
        help ? stdout : stderr);
    return help ? 0 : 2;
  }
  if (fcntl(3, F_SETFD, FD_CLOEXEC) != 0) {
    fprintf(stderr, "peak_rss_probe: descriptor 3 is not open: %s\n", strerror(errno));
    return 2;
  }
  pid_t pid = fork();
  if (pid < 0) {
    fprintf(stderr, "peak_rss_probe: cannot fork: %s\n", strerror(errno));
    return 2;
  }
  if (pid == 0) {
    execv(argv[1], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      fprintf(stderr, "peak_rss_probe: cannot wait for %s: %s\n", argv[1], strerror(errno));
      return 2;
    }
  }
  dprintf(3, "%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
