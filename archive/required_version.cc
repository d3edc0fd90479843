#include "archive/required_version.h"

#include <cstring>

bool isRequiredVersion(const DataBlock& block) {
  return strcmp(block.majorVersion.c_str(), requiredMajorVersion) == 0 &&
         strcmp(block.minorVersion.c_str(), requiredMinorVersion) == 0;
}
