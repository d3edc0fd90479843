// Reading an archive's data block from the end of a file: a sidecar archive, or an executable
// with the archive appended.
#pragma once

#include <cstdint>
#include <string>

#include "archive/data_block.h"

// Puts |block| into its initial state, then fills it from the data block at the end of the file
// at |path|. Returns true when the block is accepted; otherwise the record is initial or refused
// and |err| says why. A file that cannot be read, is not a regular file, is shorter than a block,
// or whose trailer is not 8192 leaves the record initial. An accepted block's listing is appended
// to |listing| when one is given (the launcher's verbose mode).
bool readDataBlock(const std::string& path, DataBlock* block, std::string* err,
                   std::string* listing = nullptr);

// Fills |block| from |tail|, the last layout::kBlockSize bytes of a file, as readDataBlock does
// once it has read them: the trailer inside them must be 8192, then the block is parsed. No
// listing is written.
bool dataBlockFromTail(const unsigned char* tail, DataBlock* block, std::string* err);
