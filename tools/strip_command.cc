#include "tools/strip_command.h"

#include <memory>

#include "tools/archive_file.h"
#include "tools/atomic_file.h"

bool stripArchive(const StripRequest& request, std::string* err) {
  ArchiveFile archive;
  uint64_t executableSize = 0;
  mode_t mode = 0;
  if (!openArchiveFile(request.executablePath, &archive, err) ||
      !executableBeforeArchive(request.executablePath, archive, &executableSize, err) ||
      !existingFileMode(request.executablePath, &mode, err)) {
    return false;
  }
  return writeFileAtomically(request.outputPath, {{archive.file, 0, executableSize}}, mode, err);
}

Command addStripCommand(CLI::App* app) {
  auto request = std::make_shared<StripRequest>();
  CLI::App* strip =
      app->add_subcommand("strip", "Write an executable without the archive appended to it.");
  strip->footer(
      "The output holds the executable's bytes up to embeddedArchiveParam, where qpa embed put "
      "the payload, and gets the executable's permission bits. The executable must start with "
      "an ELF header and end with a data block that the launcher accepts.");
  strip->add_option("EXECUTABLE", request->executablePath, "The executable with an archive")
      ->required();
  strip->add_option("-o,--output", request->outputPath, "The executable to write")->required();
  return Command{strip, [request](int*, std::string* err) { return stripArchive(*request, err); }};
}
