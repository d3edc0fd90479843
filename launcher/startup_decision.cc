#include "launcher/startup_decision.h"

#include "archive/data_block_reader.h"
#include "archive/embedded_probe.h"
#include "archive/required_version.h"
#include "base/diagnostics.h"
#include "base/file_exists.h"
#include "base/white_space.h"
#include "launcher/path_operations.h"

namespace {

// The text is put together only in verbose mode: a quiet start-up builds none of it.
void status(std::string* verbose, const char* text, const std::string& value) {
  if (verbose) appendDiagnosticLine(verbose, "Status", (text + value).c_str());
}

void fail(StartupDecision* decision, StartupFailure failure, std::vector<std::string> messages) {
  decision->failure = failure;
  decision->errorMessages = std::move(messages);
}

std::optional<std::string> startMessageLine(const std::string& startMessage) {
  if (startMessage.c_str()[0] == '\0') return std::nullopt;
  std::string text = cString(startMessage);
  return std::string(trimWhiteSpace(text));
}

}  // namespace

StartupDecision decideStartup(const std::string& executablePath,
                              const std::optional<std::string>& libraryPath, std::string* verbose) {
  StartupDecision d;
  d.executablePath = executablePath;
  status(verbose, "Executable file full name=", executablePath);
  d.applicationDirectory = directoryOf(executablePath);

  DataBlock probed;
  d.archiveEmbedded = isArchiveEmbedded(executablePath, verbose, &probed);
  status(verbose, "QPA is embedded=", d.archiveEmbedded ? "true" : "false");
  d.archivePath = d.archiveEmbedded ? executablePath : siblingArchivePath(executablePath);
  d.archiveExists = d.archiveEmbedded || fileExists(d.archivePath);
  if (!d.archiveExists) {
    fail(&d, StartupFailure::kNoArchive,
         {"Cannot find QPA archive " + d.archivePath, "Error initializing QPA Archive."});
    return d;
  }
  status(verbose, "QPA file name=", d.archivePath);

  if (d.archiveEmbedded) {
    // The probe has just read and accepted this very file's block: it is taken as the reader
    // would yield it again, and listed again as the reader would list it.
    d.dataBlock = std::move(probed);
    if (verbose) appendDataBlockListing(d.dataBlock, verbose);
  } else {
    readDataBlock(d.archivePath, &d.dataBlock, &d.blockRefusal, verbose);
  }
  d.versionAccepted = isRequiredVersion(d.dataBlock);
  if (!d.versionAccepted) {
    fail(&d, StartupFailure::kNotAnApplication,
         {"Your application is not a valid Korvel compiled application."});
    return d;
  }

  d.runtimeSearch = locateRuntime(d.applicationDirectory, d.dataBlock, libraryPath, verbose);
  if (!d.runtimeSearch.found) {
    fail(&d, StartupFailure::kRuntimeMissing, {runtimeMissingMessage(d.runtimeSearch.libraryName)});
    return d;
  }
  d.startMessage = startMessageLine(d.dataBlock.startMessage);
  return d;
}
