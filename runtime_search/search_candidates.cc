#include "runtime_search/search_candidates.h"

#include "archive/split_text.h"
#include "runtime_search/join_path.h"

std::vector<SearchCandidate> listSearchCandidates(const std::string& applicationDirectory,
                                                  const std::string& libraryName,
                                                  const std::optional<std::string>& libraryPath) {
  std::vector<SearchCandidate> candidates;
  std::string platformDirectory = joinPath({applicationDirectory.c_str(), "runtime", "tzora64"});
  candidates.push_back({SearchStage::kPlatformDirectory,
                        joinPath({platformDirectory.c_str(), libraryName.c_str()}),
                        platformDirectory});
  // Splitting the empty text would yield one empty entry, which would mean the working directory.
  if (!libraryPath || libraryPath->empty()) return candidates;
  for (const std::string& entry : splitText(*libraryPath, ':')) {
    candidates.push_back(
        {SearchStage::kLibraryPath, joinPath({entry.c_str(), libraryName.c_str()}), entry});
  }
  return candidates;
}
