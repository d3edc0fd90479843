#include "tools/extract_command.h"

#include <memory>

#include "tools/archive_file.h"
#include "tools/atomic_file.h"

bool extractPayload(const ExtractRequest& request, std::string* err) {
  ArchiveFile archive;
  if (!openArchiveFile(request.path, &archive, err)) return false;
  const ArchiveParts& parts = archive.parts;
  return writeFileAtomically(request.outputPath,
                             {{archive.file, parts.payloadOffset, parts.payloadSize}},
                             newFileMode(), err);
}

Command addExtractCommand(CLI::App* app) {
  auto request = std::make_shared<ExtractRequest>();
  CLI::App* extract = app->add_subcommand(
      "extract", "Write the payload of an archive or of an executable with an archive appended.");
  extract->footer(
      "The payload is what lies before the data block; in an executable (a file that starts "
      "with an ELF header) it begins at embeddedArchiveParam, where qpa embed puts it and the "
      "runtime reads it. The file must end with a data block that the launcher accepts.");
  extract->add_option("FILE", request->path, "The archive or executable")->required();
  extract->add_option("-o,--output", request->outputPath, "The payload file to write")->required();
  return Command{extract,
                 [request](int*, std::string* err) { return extractPayload(*request, err); }};
}
