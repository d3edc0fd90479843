// Reading a whole input file into memory.
#pragma once

#include <string>

// Reads every byte of the regular file at |path| (links followed). Anything else, a FIFO or a
// device included, is refused without being read, so a bad input never blocks the tool.
bool readWholeFile(const std::string& path, std::string* bytes, std::string* err);
