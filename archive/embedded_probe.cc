#include "archive/embedded_probe.h"

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"

bool isArchiveEmbedded(const std::string& executablePath, std::ostream* listing) {
  std::string err;
  int32_t trailer = 0;
  if (!readTrailer(executablePath, &trailer, &err) || trailer != layout::kBlockSize) return false;
  DataBlock probe;
  readDataBlock(executablePath, &probe, &err, listing);
  return probe.versionTag == layout::kVersionTag;
}
