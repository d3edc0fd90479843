#include "tools/strip_command.h"

#include <memory>

#include "tools/archive_file.h"
#include "tools/atomic_file.h"

bool stripArchive(const StripRequest& request, std::string* err) {
  ArchiveFile file;
  std::string_view executable;
  mode_t mode = 0;
  if (!readArchiveFile(request.executablePath, &file, err) ||
      !executableBeforeArchive(request.executablePath, file, &executable, err) ||
      !existingFileMode(request.executablePath, &mode, err)) {
    return false;
  }
  return writeFileAtomically(request.outputPath, {executable}, mode, err);
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
