// The runtime version this launcher serves: the launcher and the runtime search check and print
// it, the block writer's defaults make it, the qpa tool names it. Kept here, below all of them.
#pragma once

#include <string>

#include "archive/data_block.h"

inline constexpr char requiredMajorVersion[] = "7";
inline constexpr char requiredMinorVersion[] = "14";
// Printed after the two above, never compared.
inline constexpr char requiredUpdateSuffix[] = ".1";

// True when the block's major and minor versions, read as C strings, are exactly "7" and "14".
bool isRequiredVersion(const DataBlock& block);

// "7.14", as the qpa tool names the version that the launcher accepts. Inline, so that the
// launcher, which never calls it, carries no string code of it.
inline std::string requiredVersionName() {
  return std::string(requiredMajorVersion) + "." + requiredMinorVersion;
}
