#include "tests/scratch_directory.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory(const std::string& prefix, const std::string& parent) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = (parent.empty() ? std::string(tmp && *tmp ? tmp : "/tmp") : parent) + "/" +
                        prefix + "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    throw std::runtime_error("cannot make a directory like " + pattern + ": " + strerror(errno));
  }
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::set<std::string> ScratchDirectory::names() const {
  std::set<std::string> out;
  for (const auto& entry : fs::directory_iterator(path_)) out.insert(entry.path().filename());
  return out;
}
