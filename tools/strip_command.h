// `qpa strip`: an executable without the archive appended to it.
#pragma once

#include <string>

#include "tools/command.h"

struct StripRequest {
  std::string executablePath;
  std::string outputPath;
};

// Writes the bytes of the executable in front of its appended archive's payload, with the
// executable's permission bits.
bool stripArchive(const StripRequest& request, std::string* err);

// Adds the `strip` subcommand to |app|.
Command addStripCommand(CLI::App* app);
