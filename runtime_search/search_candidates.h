// The places where the run-time library is looked for, in search order, without touching the
// file system.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class SearchStage { kPlatformDirectory = 1, kLibraryPath = 2 };

struct SearchCandidate {
  SearchStage stage;
  // The path that is tested for presence.
  std::string path;
  // Where the file would be found: the platform directory, or the LD_LIBRARY_PATH entry exactly
  // as written, blanks included.
  std::string location;

  bool operator==(const SearchCandidate&) const = default;
};

// First the platform directory runtime/tzora64 below |applicationDirectory|, then one candidate
// per entry of |libraryPath| (the value of LD_LIBRARY_PATH, absent when the variable is unset).
// Every ":" ends an entry, so empty entries are kept and give the bare name; an empty value has
// no entries. Entries are neither merged nor deduplicated.
std::vector<SearchCandidate> listSearchCandidates(const std::string& applicationDirectory,
                                                  const std::string& libraryName,
                                                  const std::optional<std::string>& libraryPath);
