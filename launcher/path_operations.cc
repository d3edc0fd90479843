#include "launcher/path_operations.h"

#include <sys/stat.h>

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

std::string archiveFileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return (slash == std::string::npos ? path : path.substr(slash + 1)) + ".qpa";
}

std::string siblingArchivePath(const std::string& executablePath) {
  return directoryOf(executablePath) + "/" + archiveFileName(executablePath);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}
