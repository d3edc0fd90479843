// `qpa extract`: the payload of an archive, or of an executable with an archive appended, as a
// file of its own.
#pragma once

#include <string>

#include "tools/command.h"

struct ExtractRequest {
  std::string path;
  std::string outputPath;
};

// Writes the payload of the file at |request.path| (see ArchiveParts) to the output.
bool extractPayload(const ExtractRequest& request, std::string* err);

// Adds the `extract` subcommand to |app|.
Command addExtractCommand(CLI::App* app);
