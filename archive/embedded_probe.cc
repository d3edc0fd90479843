#include "archive/embedded_probe.h"

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"

// One read of the block: the reader takes exactly a block's bytes from the file's end and checks
// the trailer inside them, so a separate read of the trailer first would only add system calls.
bool isArchiveEmbedded(const std::string& executablePath, std::ostream* listing, DataBlock* block) {
  std::string err;
  DataBlock probe;
  if (!readDataBlock(executablePath, &probe, &err, listing) ||
      probe.versionTag != layout::kVersionTag) {
    return false;
  }
  if (block) *block = std::move(probe);
  return true;
}
