#include "launcher/executable_path.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kRealpathBufferSize = 4096;
constexpr size_t kExeLinkBufferSize = 4096;
constexpr size_t kExecutablePathBufferSize = 8193;

bool readWholeFile(const char* path, std::string* text) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char chunk[16384];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(fd);
      return n == 0;
    }
    text->append(chunk, static_cast<size_t>(n));
  }
}

// True unless /proc/self/maps shows that a different file is mapped at |address|. When the maps
// cannot be read or do not list the address, nothing contradicts |path|.
bool namesMappedFile(const char* path, const void* address) {
  std::string maps;
  unsigned devMajor = 0, devMinor = 0;
  unsigned long inode = 0;
  if (!readWholeFile("/proc/self/maps", &maps) ||
      !findMappedFile(maps, reinterpret_cast<uintptr_t>(address), &devMajor, &devMinor, &inode)) {
    return true;
  }
  struct stat st;
  return stat(path, &st) == 0 && major(st.st_dev) == devMajor && minor(st.st_dev) == devMinor &&
         st.st_ino == inode;
}

}  // namespace

bool findMappedFile(const std::string& maps, uintptr_t address, unsigned* devMajor,
                    unsigned* devMinor, unsigned long* inode) {
  size_t pos = 0;
  while (pos < maps.size()) {
    size_t end = maps.find('\n', pos);
    if (end == std::string::npos) end = maps.size();
    std::string line = maps.substr(pos, end - pos);
    pos = end + 1;
    uintmax_t start = 0, stop = 0;
    unsigned maj = 0, min = 0;
    unsigned long ino = 0;
    // start-end perms offset major:minor inode path
    if (sscanf(line.c_str(), "%jx-%jx %*s %*x %x:%x %lu", &start, &stop, &maj, &min, &ino) != 5) {
      continue;
    }
    if (address < start || address >= stop) continue;
    if (ino == 0) return false;  // anonymous memory: no file to compare with
    *devMajor = maj;
    *devMinor = min;
    *inode = ino;
    return true;
  }
  return false;
}

bool findExecutablePath(const void* address, char* buffer, size_t capacity) {
  memset(buffer, 0, capacity);
  Dl_info info;
  memset(&info, 0, sizeof info);
  if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fname[0]) return false;

  std::string name;
  if (!absoluteExecutableName(info.dli_fname, &name)) return false;
  if (name.size() >= capacity || !namesMappedFile(name.c_str(), address)) return false;
  memcpy(buffer, name.data(), name.size());
  return true;
}

bool absoluteExecutableName(const std::string& name, std::string* path) {
  if (!name.empty() && name[0] == '/') {
    *path = name;
    return true;
  }
  char resolved[kRealpathBufferSize];
  memset(resolved, 0, sizeof resolved);
  // realpath fails with ENAMETOOLONG rather than overrun its PATH_MAX-sized result buffer.
  static_assert(kRealpathBufferSize >= PATH_MAX);
  if (!realpath(name.c_str(), resolved) || resolved[0] != '/') return false;
  *path = resolved;
  return true;
}

bool locateOwnExecutable(const void* address, std::string* path) {
  char buffer[kExecutablePathBufferSize];
  if (findExecutablePath(address, buffer, sizeof buffer)) {
    *path = buffer;
    return true;
  }
  char link[kExeLinkBufferSize];
  ssize_t n = readlink("/proc/self/exe", link, sizeof link);
  // A target that fills the whole buffer may have been cut.
  if (n <= 0 || static_cast<size_t>(n) >= sizeof link || link[0] != '/') return false;
  path->assign(link, static_cast<size_t>(n));
  return true;
}
