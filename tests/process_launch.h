// How the tests and the benchmark start a process: the program, its whole command line and
// environment, and what the child changes before it runs the program.
#pragma once

#include <string>
#include <vector>

struct ProcessLaunch {
  std::string program;            // the file to execute
  std::vector<std::string> argv;  // argv[0] included: the caller chooses it
  std::vector<std::string> env;   // NAME=VALUE entries; nothing is inherited
  std::string cwd{};              // empty: the caller's own working directory
  std::string chroot{};           // non-empty: the child enters this root first (needs root)
  int uid = -1;                   // >= 0: the child drops to this user (and its group) first
  int timeoutSeconds = 30;        // a captured run is killed after this long
};

// |texts| as the null-terminated array of pointers that exec takes; it points into |texts|.
std::vector<char*> execArray(const std::vector<std::string>& texts);
