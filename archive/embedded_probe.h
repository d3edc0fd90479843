// Whether an executable carries its archive appended: its last four bytes hold 8192 and the data
// block there carries the expected version tag.
#pragma once

#include <string>

#include "archive/data_block.h"

// An executable that cannot be read, or whose trailer or block is anything else, does not carry
// an archive. An accepted block's listing is appended to |listing| when one is given, and the block
// left in |block| when one is given, so that a caller about to read the same file's block need not
// read it again.
bool isArchiveEmbedded(const std::string& executablePath, std::string* listing = nullptr,
                       DataBlock* block = nullptr);
