#include "runtime_search/runtime_search.h"

#include "archive/required_version.h"
#include "base/file_exists.h"
#include "runtime_search/library_name.h"

namespace {

// Callers test |trace| first, so that a quiet search puts no line together.
void traceLine(std::string* trace, const std::string& line) { trace->append(line).append("\n"); }

}  // namespace

RuntimeSearch searchRuntimeLibrary(const std::string& applicationDirectory,
                                   const std::string& libraryName,
                                   const std::optional<std::string>& libraryPath,
                                   std::string* trace) {
  RuntimeSearch search;
  search.libraryName = libraryName;
  search.tested = listSearchCandidates(applicationDirectory, libraryName, libraryPath);
  for (size_t i = 0; i < search.tested.size(); ++i) {
    const SearchCandidate& candidate = search.tested[i];
    bool platform = candidate.stage == SearchStage::kPlatformDirectory;
    if (platform && trace) traceLine(trace, "1. search " + candidate.path);
    if (fileExists(candidate.path)) {
      if (trace) {
        traceLine(trace,
                  (platform ? "Find " : "Found ") + libraryName + " in " + candidate.location);
      }
      search.found = true;
      search.tested.resize(i + 1);  // the candidates after the hit were never tested
      return search;
    }
    // Announced even when the value is empty and so has no entries to try.
    if (platform && libraryPath && trace) traceLine(trace, "2. search " + *libraryPath);
  }
  if (trace) {
    traceLine(trace, "3. Try to find " + libraryName + " in registry and preference settings");
  }
  return search;
}

RuntimeSearch locateRuntime(const std::string& applicationDirectory, const DataBlock& block,
                            const std::optional<std::string>& libraryPath, std::string* trace) {
  std::string name = buildLibraryName(block.majorVersion.c_str(), block.minorVersion.c_str(),
                                      block.updaterVersion.c_str(), trace);
  return searchRuntimeLibrary(applicationDirectory, name, libraryPath, trace);
}

std::string runtimeMissingMessage(const std::string& libraryName) {
  return std::string("Could not find version ") + requiredMajorVersion + "." +
         requiredMinorVersion + requiredUpdateSuffix + " of the ZTV.\n" + "Attempting to load " +
         libraryName + ".\n" + "Please install the correct version of the ZTV.\n" +
         "Contact your vendor if you do not have an installer for the ZTV.";
}
