// `qpa check`: why an executable would or would not start, step by step, without starting it.
// The dynamic loader's step comes first, as the system's loader itself tells it in its list mode;
// then the launcher's own steps (decideStartup), so that check cannot disagree with either.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "tools/command.h"

// The exit status of check when the dynamic loader stops the start: the launcher's code never
// runs, or the process dies at its first call of a function that the proxy library lacks.
inline constexpr int kLoaderStops = 3;

struct CheckRequest {
  std::string executablePath;  // as the start names it: its argv[0]
  bool json = false;
};

// The environment of the start that check predicts.
struct CheckEnvironment {
  std::optional<std::string> libraryPath;  // LD_LIBRARY_PATH, absent when unset
  bool bindNow = false;                    // LD_BIND_NOW set to a non-empty value
};

// Writes the steps of a start of the executable at |request.executablePath| to |out|, as text or
// one JSON document, and the messages that the start itself would print on standard error to
// |errorOut|. |*status| becomes 0 when the start reaches the runtime, kAnswerNo when the launcher
// or the system refuses it, kLoaderStops when the dynamic loader stops it. Fails, saying why,
// when the executable cannot be found or read.
bool checkDeployment(const CheckRequest& request, const CheckEnvironment& environment,
                     std::ostream& out, std::ostream& errorOut, int* status, std::string* err);

// Adds the `check` subcommand to |app|.
Command addCheckCommand(CLI::App* app);
