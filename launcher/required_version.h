// The runtime version this launcher serves.
#pragma once

#include "archive/data_block.h"

inline constexpr char requiredMajorVersion[] = "7";
inline constexpr char requiredMinorVersion[] = "14";
// Printed after the two above, never compared.
inline constexpr char requiredUpdateSuffix[] = ".1";

// True when the block's major and minor versions, read as C strings, are exactly "7" and "14".
bool isRequiredVersion(const DataBlock& block);
