#include "launcher/path_operations.h"

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

std::string archiveFileName(const std::string& path) {
  size_t slash = path.rfind('/');
  // Not substr: its range check needs GLIBCXX_3.4.20, above the launcher's C++ library floor.
  auto name = slash == std::string::npos ? path.begin() : path.begin() + slash + 1;
  return std::string(name, path.end()) + ".qpa";
}

std::string siblingArchivePath(const std::string& executablePath) {
  return directoryOf(executablePath) + "/" + archiveFileName(executablePath);
}
