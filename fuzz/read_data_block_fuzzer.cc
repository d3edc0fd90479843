// Writes the input to a file of exactly its length and reads the data block and the embedded
// archive test from it. The file is made once per process and rewritten for every input.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/data_block.h"
#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/embedded_probe.h"
#include "archive/little_endian.h"
#include "fuzz/block_invariants.h"

namespace {

std::string inputPath;
int inputFd = -1;

void removeInputFile() { unlink(inputPath.c_str()); }

void die(const char* what) {
  fprintf(stderr, "%s %s: %s\n", what, inputPath.c_str(), strerror(errno));
  abort();
}

void writeInputFile(const uint8_t* data, size_t size) {
  if (ftruncate(inputFd, 0) != 0) die("cannot truncate");
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(inputFd, data + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) die("cannot write");
    done += static_cast<size_t>(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The verbose listing would only flood the log; the parse target checks it in memory.
  unsetenv("QPAX_VERBOSE");
  const char* dir = getenv("TMPDIR");
  inputPath = std::string(dir && *dir ? dir : "/tmp") + "/read_data_block_fuzzer.XXXXXX";
  inputFd = mkstemp(inputPath.data());
  if (inputFd < 0) die("cannot create");
  atexit(removeInputFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  writeInputFile(data, size);

  // The block is the file's last 8192 bytes, and only a file that ends with the trailer 8192
  // can hold one; anything else leaves the record initial.
  bool blockAtEnd = size >= static_cast<size_t>(layout::kBlockSize) &&
                    static_cast<int32_t>(loadLE32(data + size - 4)) == layout::kBlockSize;
  DataBlock expected;
  bool expectedAccepted = false;
  if (blockAtEnd) {
    const uint8_t* tail = data + size - layout::kBlockSize;
    std::string parseErr;
    expectedAccepted = parseDataBlock(&expected, tail, layout::kBlockSize, &parseErr);
    checkParsedBlock(tail, layout::kBlockSize, expectedAccepted, expected, parseErr);
  }

  DataBlock block = clutteredRecord();
  std::string err;
  bool accepted = readDataBlock(inputPath, &block, &err);
  fuzzCheck(accepted == block.valid, "the result differs from the record's valid flag");
  fuzzCheck(!block.valid || blockAtEnd,
            "a record is valid from a file without the trailer 8192 or shorter than a block");
  fuzzCheck(accepted == expectedAccepted && sameRecord(block, expected),
            "the record read differs from the file's last block parsed in memory");
  fuzzCheck(accepted || !err.empty(), "a block that is not accepted gives no reason");

  fuzzCheck(isArchiveEmbedded(inputPath) == expectedAccepted,
            "the embedded test differs from a valid block at the end of the file");
  return 0;
}
