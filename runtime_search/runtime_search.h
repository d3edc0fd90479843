// Confirms that the run-time library of the archive's version is present before the runtime is
// started. A presence test only: nothing is opened, loaded or recorded.
#pragma once

#include <string>

#include "archive/data_block.h"

// Tests the candidates of listSearchCandidates in order, with LD_LIBRARY_PATH read afresh, and
// returns true at the first one present. Switches verbose mode on from QPAX_VERBOSE first, and in
// verbose mode traces the search on standard output.
bool searchRuntimeLibrary(const std::string& applicationDirectory, const std::string& libraryName);

// Searches for the library named after the block's version texts. When it is missing, reports
// which runtime version to install through reportError and returns false.
bool locateRuntime(std::string applicationDirectory, const DataBlock& block);
