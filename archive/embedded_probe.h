// Whether an executable carries its archive appended: its last four bytes hold 8192 and the data
// block there carries the expected version tag.
#pragma once

#include <string>

// An executable that cannot be read, or whose trailer or block is anything else, does not carry
// an archive. In verbose mode a block with the expected tag is listed, as every accepted block is.
bool isArchiveEmbedded(const std::string& executablePath);
