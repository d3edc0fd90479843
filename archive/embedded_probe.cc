#include "archive/embedded_probe.h"

#include "archive/data_block_reader.h"

// One read of the block: the reader checks the trailer inside it, and accepts only the expected
// version tag.
bool isArchiveEmbedded(const std::string& executablePath, std::string* listing, DataBlock* block) {
  std::string err;
  DataBlock probe;
  if (!readDataBlock(executablePath, &probe, &err, listing)) return false;
  if (block) *block = std::move(probe);
  return true;
}
