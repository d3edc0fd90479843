// `qpa show`: every field of a file's data block as the launcher's reader yields it, where its
// texts lie, whether the launcher's probe counts the file as an appended archive, and where the
// payload is. As text, or as one JSON document.
#pragma once

#include <ostream>
#include <string>

#include "tools/command.h"

struct ShowRequest {
  std::string path;
  bool json = false;
};

// Writes what the file at |request.path| holds to |out|. Fails, saying why, only when the file
// cannot be read; a block that the reader does not accept is shown with the reason and leaves
// |*accepted| false.
bool showArchive(const ShowRequest& request, std::ostream& out, bool* accepted, std::string* err);

// Adds the `show` subcommand to |app|.
Command addShowCommand(CLI::App* app);
