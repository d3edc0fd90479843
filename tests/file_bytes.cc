#include "tests/file_bytes.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush() || chmod(path.c_str(), mode) != 0) {
    throw std::runtime_error("cannot write " + path);
  }
}
