#include "archive/data_block_reader.h"

#include <array>

#include "archive/data_block_layout.h"
#include "archive/file_tail.h"
#include "archive/little_endian.h"

bool readDataBlock(const std::string& path, DataBlock* block, std::string* err,
                   std::string* listing) {
  *block = DataBlock();
  // Only a block of exactly kBlockSize bytes can be valid: one read of that much, the trailer
  // checked inside it. On the stack, whose pages both of start-up's reads share.
  std::array<unsigned char, layout::kBlockSize> bytes;
  if (!readFileTail(path, bytes.size(), bytes.data(), err) ||
      !dataBlockFromTail(bytes.data(), block, err)) {
    return false;
  }
  if (listing) appendDataBlockListing(*block, listing);
  return true;
}

bool dataBlockFromTail(const unsigned char* tail, DataBlock* block, std::string* err) {
  *block = DataBlock();
  int32_t trailer = static_cast<int32_t>(loadLE32(tail + layout::kTrailerField.offset));
  if (trailer != layout::kBlockSize) {
    *err = "the trailer holds " + std::to_string(trailer) + ", not " +
           std::to_string(layout::kBlockSize);
    return false;
  }
  return parseDataBlock(block, tail, layout::kBlockSize, err);
}
