// Parses the input as a data block held in memory, whatever its length. libFuzzer hands over a
// buffer of exactly the input's size, so AddressSanitizer reports any read beyond the block.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/data_block.h"
#include "fuzz/block_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DataBlock block;
  std::string err;
  bool accepted = parseDataBlock(&block, data, size, &err);
  checkParsedBlock(data, size, accepted, block, err);

  // The parser starts from the initial record, whatever the record held before.
  DataBlock reused = clutteredRecord();
  std::string reusedErr;
  fuzzCheck(parseDataBlock(&reused, data, size, &reusedErr) == accepted &&
                sameRecord(reused, block) && reusedErr == err,
            "parsing into a used record differs from parsing into a new one");
  return 0;
}
