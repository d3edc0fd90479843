#include "tools/whole_file.h"

#include <cstdint>

#include "archive/file_tail.h"

bool readWholeFile(const std::string& path, std::string* bytes, std::string* err) {
  uint64_t size = 0;
  if (!regularFileSize(path, &size, err)) return false;
  return readFileTail(path, size, bytes, err);
}
