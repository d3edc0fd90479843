#include "base/file_exists.h"

#include <sys/stat.h>

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}
