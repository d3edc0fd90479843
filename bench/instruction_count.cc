#include "bench/instruction_count.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// Debian's /usr/bin/valgrind is a script that sets LD_LIBRARY_PATH and GLIBCXX_FORCE_NEW before it
// runs this, which would change what the loader and the programs do; the case's environment is
// given whole.
constexpr char kValgrind[] = "/usr/bin/valgrind.bin";
// What callgrind writes on standard error at the end of the run, before the count.
constexpr char kCollected[] = "Collected : ";

}  // namespace

bool countInstructions(const ProcessLaunch& launch, const std::string& scratch, uint64_t* count,
                       std::string* err) {
  if (access(kValgrind, X_OK) != 0) {
    *err = std::string(kValgrind) + " is missing (tools/setup.sh installs valgrind)";
    return false;
  }
  ProcessLaunch counted = launch;
  counted.program = kValgrind;
  counted.argv = {kValgrind, "--tool=callgrind", "--callgrind-out-file=/dev/null", launch.program};
  counted.argv.insert(counted.argv.end(), launch.argv.begin() + 1, launch.argv.end());
  std::string errPath = scratch + "/callgrind.err";
  TimedRun run;
  if (!TimedProcess(counted).run(&run, err, "/dev/null", errPath)) return false;
  std::ifstream in(errPath);
  std::stringstream log;
  log << in.rdbuf();
  std::string text = log.str();
  size_t at = text.rfind(kCollected);
  if (run.status != 0 || at == std::string::npos) {
    *err = launch.program + " under callgrind gave status " + std::to_string(run.status) +
           " and no count:\n" + text;
    return false;
  }
  *count = std::stoull(text.substr(at + sizeof kCollected - 1));
  return true;
}
