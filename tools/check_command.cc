#include "tools/check_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "archive/data_block.h"
#include "archive/required_version.h"
#include "base/diagnostics.h"
#include "base/text_escapes.h"
#include "launcher/executable_path.h"
#include "launcher/startup_decision.h"

namespace {

bool findExecutable(const std::string& name, std::string* path, std::string* err) {
  if (!absoluteExecutableName(name, path)) {
    *err = "cannot find " + name + ": " + strerror(errno);
    return false;
  }
  struct stat status;
  if (stat(path->c_str(), &status) != 0) {
    *err = "cannot find " + name + ": " + strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *err = name + " is not a regular file";
    return false;
  }
  return true;
}

std::string quoted(const std::string& text) { return "\"" + escapeText(text) + "\""; }

void writeSearch(const StartupDecision& d, const std::optional<std::string>& libraryPath,
                 std::ostream& out) {
  const RuntimeSearch& search = d.runtimeSearch;
  out << "runtime library: " << escapeText(search.libraryName) << "\n";
  out << "LD_LIBRARY_PATH: " << (libraryPath ? quoted(*libraryPath) : "unset") << "\n";
  for (size_t i = 0; i < search.tested.size(); ++i) {
    const SearchCandidate& candidate = search.tested[i];
    bool hit = search.found && i + 1 == search.tested.size();
    out << "searched " << escapeText(candidate.path) << " ("
        << (candidate.stage == SearchStage::kPlatformDirectory
                ? "platform directory"
                : "LD_LIBRARY_PATH entry " + quoted(candidate.location))
        << "): " << (hit ? "present" : "absent") << "\n";
  }
  if (search.found) {
    out << "runtime library found in: " << escapeText(search.tested.back().location) << "\n";
  } else {
    out << "runtime library found: nowhere\n";
  }
}

void writeDecision(const StartupDecision& d, const std::optional<std::string>& libraryPath,
                   std::ostream& out) {
  out << "executable: " << escapeText(d.executablePath) << "\n";
  out << "application directory: " << escapeText(d.applicationDirectory) << "\n";
  if (d.archiveEmbedded) {
    out << "archive: appended to the executable\n";
  } else {
    out << "archive: sidecar " << escapeText(d.archivePath) << ", "
        << (d.archiveExists ? "present" : "missing") << "\n";
  }
  if (d.failure == StartupFailure::kNoArchive) return;

  out << "data block: "
      << (d.blockRefusal.empty() ? "accepted" : "not accepted: " + escapeText(d.blockRefusal))
      << "\n";
  out << "runtime version: major " << quoted(cString(d.dataBlock.majorVersion)) << ", minor "
      << quoted(cString(d.dataBlock.minorVersion)) << ", "
      << (d.versionAccepted ? "accepted"
                            : "refused: the launcher accepts " + requiredVersionName() + " only")
      << "\n";
  if (d.failure == StartupFailure::kNotAnApplication) return;

  writeSearch(d, libraryPath, out);
  if (d.failure == StartupFailure::kRuntimeMissing) return;

  if (!d.startMessage) {
    out << "start message: none\n";
  } else if (d.startMessage->empty()) {
    out << "start message: blank, so only the Initializing line is shown\n";
  } else {
    out << "start message: " << quoted(*d.startMessage) << "\n";
  }
}

}  // namespace

bool checkDeployment(const CheckRequest& request, const std::optional<std::string>& libraryPath,
                     std::ostream& out, bool* reachesRuntime, std::string* err) {
  std::string executable;
  if (!findExecutable(request.executablePath, &executable, err)) return false;
  // The system runs only what this user may execute; the launcher's steps would never begin.
  if (access(executable.c_str(), X_OK) != 0) {
    out << "executable: " << escapeText(executable) << "\n"
        << "result: the system will not start it: " << strerror(errno) << "\n"
        << std::flush;
    *reachesRuntime = false;
    return true;
  }
  StartupDecision decision = decideStartup(executable, libraryPath, nullptr);
  writeDecision(decision, libraryPath, out);
  out << "result: "
      << (decision.reachesRuntime() ? "the launcher reaches the runtime"
                                    : "start-up stops here, with exit status 255")
      << "\n"
      << std::flush;
  for (const std::string& message : decision.errorMessages) reportError(message.c_str());
  *reachesRuntime = decision.reachesRuntime();
  return true;
}

Command addCheckCommand(CLI::App* app) {
  auto request = std::make_shared<CheckRequest>();
  CLI::App* check = app->add_subcommand(
      "check", "Show what the launcher would decide for an executable, without starting it.");
  check->footer(
      "Takes the launcher's own start-up steps for EXECUTABLE, up to the point where the launcher "
      "calls the runtime, under the current LD_LIBRARY_PATH and working directory: the archive, "
      "appended or beside it; the data block and its version; each place where the runtime "
      "library is looked for; the start message. A relative EXECUTABLE is resolved as the "
      "launcher resolves its own name. Exit status 0 when the launcher would reach the runtime; "
      "2 when start-up would stop, with the launcher's own error lines on standard error, or "
      "when this user may not execute EXECUTABLE; 1 when EXECUTABLE cannot be found.");
  check->add_option("EXECUTABLE", request->executablePath, "The launcher, as deployed")->required();
  return Command{check, [request](int* status, std::string* err) {
                   std::optional<std::string> libraryPath;
                   if (const char* value = getenv("LD_LIBRARY_PATH")) libraryPath = value;
                   bool reaches = false;
                   if (!checkDeployment(*request, libraryPath, std::cout, &reaches, err)) {
                     return false;
                   }
                   if (!reaches) *status = kAnswerNo;
                   return true;
                 }};
}
