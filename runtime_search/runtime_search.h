// Confirms that the run-time library of the archive's version is present before the runtime is
// started. A presence test only: nothing is opened, loaded or recorded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archive/data_block.h"
#include "runtime_search/search_candidates.h"

// What a search did: the library's file name, the candidates tested in order, and whether the
// last of them held the file.
struct RuntimeSearch {
  std::string libraryName;
  std::vector<SearchCandidate> tested;
  bool found = false;
};

// Tests the candidates of listSearchCandidates in order and stops at the first one present.
// |libraryPath| is the value of LD_LIBRARY_PATH, absent when it is unset. The verbose trace of
// the search is appended to |trace| when one is given.
RuntimeSearch searchRuntimeLibrary(const std::string& applicationDirectory,
                                   const std::string& libraryName,
                                   const std::optional<std::string>& libraryPath,
                                   std::string* trace);

// Builds the library's name from the block's version texts and searches for it, tracing both to
// |trace| when one is given.
RuntimeSearch locateRuntime(const std::string& applicationDirectory, const DataBlock& block,
                            const std::optional<std::string>& libraryPath, std::string* trace);

// What the launcher reports when the library is missing: which runtime version to install.
std::string runtimeMissingMessage(const std::string& libraryName);
