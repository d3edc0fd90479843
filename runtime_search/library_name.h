// The file name of the version-specific run-time library.
#pragma once

#include <string>

// "libqxzekztvrt.so.<major>.<minor>", followed by "." and the updater version unless that is
// exactly "0". Switches verbose mode on from QPAX_VERBOSE first, and in verbose mode prints the
// name.
std::string buildLibraryName(const char* major, const char* minor, const char* updater);
