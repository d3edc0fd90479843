// Reading the last bytes of a file, or all of them: the one place where the archive code touches
// the file system. The file is taken as it comes, so every size is checked before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the last |count| bytes of the regular file at |path| (links followed) into |bytes|, which
// has room for them. Fails, saying why in |err|, when the file cannot be opened, is not a regular
// file (so a FIFO or a device never blocks the caller), is shorter than |count|, or gives a short
// read.
bool readFileTail(const std::string& path, size_t count, unsigned char* bytes, std::string* err);

// Reads every byte of the regular file at |path| (links followed) into |bytes|, which is left as
// it was on failure. Anything else, a FIFO or a device included, is refused without being read.
bool readWholeFile(const std::string& path, std::string* bytes, std::string* err);
