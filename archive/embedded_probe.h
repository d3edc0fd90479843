// Whether an executable carries its archive appended: its last four bytes hold 8192 and the data
// block there carries the expected version tag.
#pragma once

#include <ostream>
#include <string>

// An executable that cannot be read, or whose trailer or block is anything else, does not carry
// an archive. An accepted block is listed on |listing| when one is given.
bool isArchiveEmbedded(const std::string& executablePath, std::ostream* listing = nullptr);
