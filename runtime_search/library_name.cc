#include "runtime_search/library_name.h"

#include <cstring>

std::string buildLibraryName(const char* major, const char* minor, const char* updater,
                             std::string* trace) {
  std::string name = "libqxzekztvrt";
  name += ".so";
  name += '.';
  name += major;
  name += '.';
  name += minor;
  // Only the exact text "0" is left out: "00" and the empty text are appended.
  if (strcmp(updater, "0") != 0) {
    name += '.';
    name += updater;
  }
  if (trace) trace->append("build library name=").append(name).append("\n");
  return name;
}
