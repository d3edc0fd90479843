// `qpa pack`: an archive made of a payload file's bytes followed by a data block whose every field
// can be set from the command line.
#pragma once

#include <string>

#include "archive/data_block_writer.h"
#include "tools/command.h"

struct PackRequest {
  std::string payloadPath;
  std::string outputPath;
  DataBlockFields fields;
};

// Writes the payload's bytes followed by the block built from |request.fields| to the output.
bool packArchive(const PackRequest& request, std::string* err);

// Adds the `pack` subcommand to |app|.
Command addPackCommand(CLI::App* app);
