// The file name of the version-specific run-time library.
#pragma once

#include <ostream>
#include <string>

// "libqxzekztvrt.so.<major>.<minor>", followed by "." and the updater version unless that is
// exactly "0". Writes the verbose line "build library name=" and the name on |trace| when one is
// given.
std::string buildLibraryName(const char* major, const char* minor, const char* updater,
                             std::ostream* trace);
