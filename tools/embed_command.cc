#include "tools/embed_command.h"

#include <memory>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "archive/embedded_probe.h"
#include "archive/file_tail.h"
#include "tools/archive_file.h"
#include "tools/atomic_file.h"

bool embedArchive(const EmbedRequest& request, std::string* err) {
  const std::string& launcherPath = request.launcherPath;
  // The launcher's own probe decides whether an archive is there already, so that the tool never
  // stacks a second one behind it.
  ArchiveFile carrier;
  RegularFile plainLauncher;
  const RegularFile* launcher = &plainLauncher;
  uint64_t launcherSize = 0;
  if (isArchiveEmbedded(launcherPath)) {
    if (!request.replace) {
      *err = launcherPath + " already carries an archive (give --replace to replace it)";
      return false;
    }
    if (!openArchiveFile(launcherPath, &carrier, err) ||
        !executableBeforeArchive(launcherPath, carrier, &launcherSize, err)) {
      return false;
    }
    launcher = &carrier.file;
  } else {
    FileEnds start;
    if (!plainLauncher.open(launcherPath, err) ||
        !readFileEnds(plainLauncher, kElfMagicBytes, 0, &start, err)) {
      return false;
    }
    if (!startsWithElfHeader(start.head)) {
      *err = launcherPath + " is no executable: it does not start with an ELF header";
      return false;
    }
    launcherSize = plainLauncher.size();
  }
  mode_t mode = 0;
  if (!existingFileMode(launcherPath, &mode, err)) return false;

  // The launcher's own reader decides, so that the tool accepts exactly what the launcher will.
  ArchiveFile archive;
  if (!openArchiveFile(request.archivePath, &archive, err)) return false;
  const ArchiveParts& parts = archive.parts;
  std::string block = archive.ends.tail;
  setBlockInt64(&block, layout::kEmbeddedArchiveParamField, static_cast<int64_t>(launcherSize));
  return writeFileAtomically(
      request.outputPath,
      {{*launcher, 0, launcherSize}, {archive.file, parts.payloadOffset, parts.payloadSize}, block},
      mode, err);
}

Command addEmbedCommand(CLI::App* app) {
  auto request = std::make_shared<EmbedRequest>();
  CLI::App* embed = app->add_subcommand(
      "embed", "Write a copy of a launcher executable with an archive appended to it.");
  embed->footer(
      "The output holds the launcher's bytes, the archive's payload and the archive's data block "
      "with embeddedArchiveParam set to the launcher's size, where the payload starts. It gets "
      "the launcher's permission bits. A launcher that already carries an archive (by the "
      "launcher's own probe) is refused; with --replace its old archive is left out, so that "
      "archives are never stacked. ARCHIVE may also be an executable with an archive appended: "
      "its payload is taken.");
  embed->add_option("LAUNCHER", request->launcherPath, "The launcher executable")->required();
  embed->add_option("ARCHIVE", request->archivePath, "The archive, as qpa pack writes it")
      ->required();
  embed->add_option("-o,--output", request->outputPath, "The executable to write")->required();
  embed->add_flag("--replace", request->replace,
                  "Replace the archive that LAUNCHER already carries instead of refusing it");
  return Command{embed, [request](int*, std::string* err) { return embedArchive(*request, err); }};
}
