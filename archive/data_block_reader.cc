#include "archive/data_block_reader.h"

#include <array>

#include "archive/data_block_layout.h"
#include "archive/file_tail.h"
#include "archive/little_endian.h"

bool readDataBlock(const std::string& path, DataBlock* block, std::string* err,
                   std::ostream* listing) {
  *block = DataBlock();
  // Only a block of exactly kBlockSize bytes can be valid, so read that much in one go and check
  // the trailer inside it, instead of trusting the trailer to say how much to read. The buffer is
  // on the stack, whose pages the start-up's two reads of a block share, where heap buffers
  // would each take fresh pages, a page fault apiece.
  std::array<unsigned char, layout::kBlockSize> bytes;
  if (!readFileTail(path, bytes.size(), bytes.data(), err) ||
      !dataBlockFromTail(bytes.data(), block, err)) {
    return false;
  }
  if (listing) writeDataBlockListing(*block, *listing);
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
