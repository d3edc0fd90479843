// Running a program as a child process with an environment set whole, capturing its output.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
  bool timedOut = false;
  long peakResidentKiB = 0;  // the child's peak resident set size
};

struct ProcessSpec {
  std::string program;            // the file to execute
  std::vector<std::string> argv;  // argv[0] included: the test chooses it
  std::vector<std::string> env;   // NAME=VALUE entries; nothing is inherited
  std::string cwd;                // empty: the test's own working directory
  std::string chroot;             // non-empty: the child enters this root first (needs root)
  int uid = -1;                   // >= 0: the child drops to this user (and its group) first
  int timeoutSeconds = 30;        // the child is killed after this long
};

// Runs |spec| to its end. Fails only when the child cannot be started at all.
bool runProcess(const ProcessSpec& spec, ProcessResult* result, std::string* err);
