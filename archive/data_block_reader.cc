#include "archive/data_block_reader.h"

#include "archive/data_block_layout.h"
#include "archive/file_tail.h"
#include "archive/little_endian.h"

bool readTrailer(const std::string& path, int32_t* trailer, std::string* err) {
  std::string bytes;
  if (!readFileTail(path, layout::kTrailerField.width, &bytes, err)) return false;
  *trailer = static_cast<int32_t>(loadLE32(reinterpret_cast<const unsigned char*>(bytes.data())));
  return true;
}

bool readDataBlock(const std::string& path, DataBlock* block, std::string* err,
                   std::ostream* listing) {
  *block = DataBlock();
  // Only a block of exactly kBlockSize bytes can be valid, so read that much in one go and check
  // the trailer inside it, instead of trusting the trailer to say how much to read.
  std::string bytes;
  if (!readFileTail(path, layout::kBlockSize, &bytes, err)) return false;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  int32_t trailer = static_cast<int32_t>(loadLE32(data + layout::kTrailerField.offset));
  if (trailer != layout::kBlockSize) {
    *err = "the trailer holds " + std::to_string(trailer) + ", not " +
           std::to_string(layout::kBlockSize);
    return false;
  }
  if (!parseDataBlock(block, data, bytes.size(), err)) return false;
  if (listing) writeDataBlockListing(*block, *listing);
  return true;
}
