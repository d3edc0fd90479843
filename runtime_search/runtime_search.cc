#include "runtime_search/runtime_search.h"

#include <cstdlib>
#include <iostream>
#include <optional>

#include "launcher/diagnostics.h"
#include "launcher/launcher_state.h"
#include "launcher/path_operations.h"
#include "launcher/required_version.h"
#include "runtime_search/library_name.h"
#include "runtime_search/search_candidates.h"

namespace {

void traceLine(const std::string& line) {
  if (launcherState().verbose) std::cout << line << '\n' << std::flush;
}

}  // namespace

bool searchRuntimeLibrary(const std::string& applicationDirectory, const std::string& libraryName) {
  updateVerboseFromEnvironment();
  std::optional<std::string> libraryPath;
  if (const char* value = getenv("LD_LIBRARY_PATH")) libraryPath = value;

  for (const SearchCandidate& candidate :
       listSearchCandidates(applicationDirectory, libraryName, libraryPath)) {
    bool platform = candidate.stage == SearchStage::kPlatformDirectory;
    if (platform) traceLine("1. search " + candidate.path);
    if (fileExists(candidate.path)) {
      traceLine((platform ? "Find " : "Found ") + libraryName + " in " + candidate.location);
      return true;
    }
    // Announced even when the value is empty and so has no entries to try.
    if (platform && libraryPath) traceLine("2. search " + *libraryPath);
  }
  traceLine("3. Try to find " + libraryName + " in registry and preference settings");
  return false;
}

bool locateRuntime(std::string applicationDirectory, const DataBlock& block) {
  std::string name = buildLibraryName(block.majorVersion.c_str(), block.minorVersion.c_str(),
                                      block.updaterVersion.c_str());
  if (searchRuntimeLibrary(applicationDirectory, name)) return true;
  std::string message = std::string("Could not find version ") + requiredMajorVersion + "." +
                        requiredMinorVersion + requiredUpdateSuffix + " of the ZTV.\n" +
                        "Attempting to load " + name + ".\n" +
                        "Please install the correct version of the ZTV.\n" +
                        "Contact your vendor if you do not have an installer for the ZTV.";
  reportError(message.c_str());
  return false;
}
