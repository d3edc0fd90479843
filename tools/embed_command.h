// `qpa embed`: a copy of a launcher executable with an archive appended, set up so that the
// runtime finds the payload inside the executable.
#pragma once

#include <string>

#include "tools/command.h"

struct EmbedRequest {
  std::string launcherPath;
  std::string archivePath;
  std::string outputPath;
  // A launcher that already carries an archive is refused unless this is set; then its old
  // archive is left out, so that archives are never stacked.
  bool replace = false;
};

// Writes the launcher's bytes, the archive's payload and the archive's block, whose
// embeddedArchiveParam then holds the launcher's size: the offset of the payload in the output.
// The output gets the launcher's permission bits. The archive must end with an accepted block; an
// executable given as the archive gives its own payload.
bool embedArchive(const EmbedRequest& request, std::string* err);

// Adds the `embed` subcommand to |app|.
Command addEmbedCommand(CLI::App* app);
