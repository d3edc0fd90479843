// `qpa check`: what the launcher would decide for an executable, step by step, without calling
// the runtime. It takes the launcher's own steps (decideStartup), so the two cannot disagree.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "tools/command.h"

struct CheckRequest {
  std::string executablePath;
};

// Writes the steps that the launcher would take for the executable at |request.executablePath|
// to |out|, under the LD_LIBRARY_PATH value |libraryPath| (absent: unset). When start-up would
// fail, the launcher's own error lines go through reportError, to standard error, and
// |*reachesRuntime| is false. Fails, saying why, when the executable cannot be found.
bool checkDeployment(const CheckRequest& request, const std::optional<std::string>& libraryPath,
                     std::ostream& out, bool* reachesRuntime, std::string* err);

// Adds the `check` subcommand to |app|.
Command addCheckCommand(CLI::App* app);
