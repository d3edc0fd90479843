// Building data blocks and archives: used by the qpa tool, the tests and the benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/data_block_layout.h"
#include "archive/required_version.h"

// The values of a data block. The defaults give a valid block for runtime 7.14.1. A text that is
// absent gets a zero offset slot; a present one (even empty) gets a span of its own bytes.
struct DataBlockFields {
  int32_t blockSize = layout::kBlockSize;
  std::string versionTag{layout::kVersionTag};
  std::string majorVersion = requiredMajorVersion;
  std::string minorVersion = requiredMinorVersion;
  std::string updaterVersion = requiredUpdateSuffix + 1;  // the suffix without its dot
  std::string uuid;
  int32_t mainIntParam = 0;
  int64_t embeddedArchiveParam = 0;
  std::optional<std::string> startMessage;
  std::optional<std::string> completeMessage;
  std::optional<std::string> componentParam;
  std::optional<std::string> list;  // the raw span: items joined by commas
  std::optional<std::string> mainParam;
};

// Writes the 8192 bytes of a block into |block|. Fixed-width fields are filled up with NUL
// bytes; a value as wide as its field is stored without a NUL. The texts lie back to back below
// the trailer, the start message highest. Fails, saying why, when a value does not fit its field
// or the texts do not fit the text area.
bool buildDataBlock(const DataBlockFields& fields, std::string* block, std::string* err);

// Overwrites one integer field of a built block; tests use it to make malformed blocks.
void setBlockInt32(std::string* block, const layout::Field& field, int32_t value);
void setBlockInt64(std::string* block, const layout::Field& field, int64_t value);
