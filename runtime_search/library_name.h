// The file name of the version-specific run-time library.
#pragma once

#include <string>

// "libqxzekztvrt.so.<major>.<minor>", followed by "." and the updater version unless that is
// exactly "0". Appends the verbose line "build library name=" and the name to |trace| when one is
// given.
std::string buildLibraryName(const char* major, const char* minor, const char* updater,
                             std::string* trace);
