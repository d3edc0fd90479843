#include "tools/embed_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/data_block_writer.h"
#include "tools/atomic_file.h"
#include "tools/whole_file.h"

bool embedArchive(const EmbedRequest& request, std::string* err) {
  std::string launcher;
  if (!readWholeFile(request.launcherPath, &launcher, err)) return false;
  struct stat launcherStatus;
  if (stat(request.launcherPath.c_str(), &launcherStatus) != 0) {
    *err = "cannot examine " + request.launcherPath + ": " + strerror(errno);
    return false;
  }
  std::string archive;
  if (!readWholeFile(request.archivePath, &archive, err)) return false;

  // The launcher's own reader decides, so that the tool accepts exactly what the launcher will.
  DataBlock accepted;
  std::string why;
  if (!readDataBlock(request.archivePath, &accepted, &why) ||
      archive.size() < static_cast<size_t>(layout::kBlockSize)) {
    *err = request.archivePath +
           " holds no accepted data block: " + (why.empty() ? "it changed while being read" : why);
    return false;
  }

  size_t payloadSize = archive.size() - layout::kBlockSize;
  std::string block = archive.substr(payloadSize);
  setBlockInt64(&block, layout::kEmbeddedArchiveParamField, static_cast<int64_t>(launcher.size()));
  std::string_view payload = std::string_view(archive).substr(0, payloadSize);
  return writeFileAtomically(request.outputPath, {launcher, payload, block},
                             launcherStatus.st_mode & 0777, err);
}

Command addEmbedCommand(CLI::App* app) {
  auto request = std::make_shared<EmbedRequest>();
  CLI::App* embed = app->add_subcommand(
      "embed", "Write a copy of a launcher executable with an archive appended to it.");
  embed->footer(
      "The output holds the launcher's bytes, the archive's payload and the archive's data block "
      "with embeddedArchiveParam set to the launcher's size, where the payload starts. It gets "
      "the launcher's permission bits.");
  embed->add_option("LAUNCHER", request->launcherPath, "The launcher executable")->required();
  embed->add_option("ARCHIVE", request->archivePath, "The archive, as qpa pack writes it")
      ->required();
  embed->add_option("-o,--output", request->outputPath, "The executable to write")->required();
  return Command{embed, [request](std::string* err) { return embedArchive(*request, err); }};
}
