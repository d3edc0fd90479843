#include "launcher/executable_path.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr size_t kRealpathBufferSize = 4096;
constexpr size_t kExeLinkBufferSize = 4096;
constexpr size_t kExecutablePathBufferSize = 8193;

// What /proc/self/maps says of the mapping that holds |address|. The maps are read only up to
// that line: the kernel writes the lines as they are read, and the launcher's own code lies in
// its first lines, so a start-up does not pay for all of them. kOther when they cannot be read
// or do not list the address.
MapsLine readMappedFile(const void* address, MappedFile* file) {
  // The stand-in has a maps reader of its own, so that it cannot share a fault it must catch.
  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return MapsLine::kOther;
  uintptr_t wanted = reinterpret_cast<uintptr_t>(address);
  MapsLine found = MapsLine::kOther;
  std::string pending;
  char chunk[512];
  for (bool atEnd = false; found == MapsLine::kOther && !atEnd;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    atEnd = n <= 0;
    if (n > 0) pending.append(chunk, static_cast<size_t>(n));
    size_t lineStart = 0;
    for (size_t lineEnd; found == MapsLine::kOther &&
                         (lineEnd = pending.find('\n', lineStart)) != std::string::npos;
         lineStart = lineEnd + 1) {
      found = parseMapsLine(std::string_view(pending).substr(lineStart, lineEnd - lineStart),
                            wanted, file);
    }
    pending.erase(0, lineStart);
    if (n == 0 && found == MapsLine::kOther && !pending.empty()) {
      found = parseMapsLine(pending, wanted, file);
    }
  }
  close(fd);
  return found;
}

bool isSameFile(const std::string& path, const MappedFile& file) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && major(st.st_dev) == file.devMajor &&
         minor(st.st_dev) == file.devMinor && st.st_ino == file.inode;
}

// The kernel names a program run from a file descriptor /dev/fd/N, a name that stops naming it
// when the descriptor is closed, and that is no place to look for the archive beside it.
bool isDescriptorName(std::string_view name) { return name.starts_with("/dev/fd/"); }

// True when |name| is the very path that the kernel was asked to run and |object| is the program
// that the kernel loaded for it (not one that the dynamic loader, run as a program, loaded): the
// name then names the file mapped there, and the maps need not be read.
bool isExecutedName(const char* name, const Dl_info& object) {
  const char* executed = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  const void* programHeaders = reinterpret_cast<const void*>(getauxval(AT_PHDR));
  Dl_info program;
  memset(&program, 0, sizeof program);
  return executed && programHeaders && strcmp(name, executed) == 0 &&
         dladdr(programHeaders, &program) && program.dli_fbase == object.dli_fbase;
}

// The target of /proc/self/exe when it reads as an absolute path that fits its buffer.
bool readExecutableLink(std::string* path) {
  char link[kExeLinkBufferSize];
  ssize_t n = readlink("/proc/self/exe", link, sizeof link);
  // A target that fills the whole buffer may have been cut.
  if (n <= 0 || static_cast<size_t>(n) >= sizeof link || link[0] != '/') return false;
  path->assign(link, static_cast<size_t>(n));
  return true;
}

// |name| resolved with realpath, when that gives an absolute path.
bool resolveRelativeName(const std::string& name, std::string* path) {
  char resolved[kRealpathBufferSize];
  memset(resolved, 0, sizeof resolved);
  // realpath fails with ENAMETOOLONG rather than overrun its PATH_MAX-sized result buffer.
  static_assert(kRealpathBufferSize >= PATH_MAX);
  if (!realpath(name.c_str(), resolved) || resolved[0] != '/') return false;
  *path = resolved;
  return true;
}

}  // namespace

MapsLine parseMapsLine(std::string_view line, uintptr_t address, MappedFile* file) {
  const char* at = line.data();
  const char* end = line.data() + line.size();
  auto skipSpaces = [&] {
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
  };
  auto number = [&](auto* value, int base) {
    skipSpaces();
    auto [next, ec] = std::from_chars(at, end, *value, base);
    at = next;
    return ec == std::errc();
  };
  auto literal = [&](char c) {
    skipSpaces();
    return at < end && *at++ == c;
  };
  auto word = [&] {
    skipSpaces();
    const char* start = at;
    while (at < end && *at != ' ' && *at != '\t') ++at;
    return at > start;
  };
  uintmax_t start = 0, stop = 0, offset = 0;
  unsigned maj = 0, min = 0;
  unsigned long ino = 0;
  if (!number(&start, 16) || !literal('-') || !number(&stop, 16) || !word() ||
      !number(&offset, 16) || !number(&maj, 16) || !literal(':') || !number(&min, 16) ||
      !number(&ino, 10)) {
    return MapsLine::kOther;
  }
  if (address < start || address >= stop) return MapsLine::kOther;
  if (ino == 0) return MapsLine::kAnonymous;
  skipSpaces();
  std::string_view path(at, static_cast<size_t>(end - at));
  constexpr std::string_view kDeleted = " (deleted)";
  bool trusted =
      !path.empty() && path[0] == '/' && path.find("\\012") == std::string_view::npos &&
      !(path.size() >= kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted);
  file->devMajor = maj;
  file->devMinor = min;
  file->inode = ino;
  file->path = trusted ? std::string(path) : std::string();
  return MapsLine::kFile;
}

bool findExecutablePath(const void* address, char* buffer, size_t capacity) {
  memset(buffer, 0, capacity);
  Dl_info info;
  memset(&info, 0, sizeof info);
  if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fname[0]) return false;

  std::string name;
  bool named = !isDescriptorName(info.dli_fname) && absoluteExecutableName(info.dli_fname, &name);
  std::string path;
  if (named && isExecutedName(info.dli_fname, info)) {
    path = std::move(name);
  } else {
    MappedFile file;
    MapsLine found = readMappedFile(address, &file);
    if (found != MapsLine::kFile) {
      // Nothing contradicts the name.
      if (!named) return false;
      path = std::move(name);
    } else if (named && isSameFile(name, file)) {
      path = std::move(name);
    } else if (!file.path.empty() && file.path.size() < PATH_MAX) {
      // A longer one, like one that realpath or the link gives, is no name to open files by.
      path = std::move(file.path);
    } else {
      return false;
    }
  }
  if (path.size() >= capacity) return false;
  memcpy(buffer, path.data(), path.size());
  return true;
}

bool absoluteExecutableName(const std::string& name, std::string* path) {
  if (!name.empty() && name[0] == '/') {
    *path = name;
    return true;
  }
  return resolveRelativeName(name, path);
}

bool locateOwnExecutable(const void* address, std::string* path) {
  char buffer[kExecutablePathBufferSize];
  if (findExecutablePath(address, buffer, sizeof buffer)) {
    *path = buffer;
    return true;
  }
  return readExecutableLink(path);
}
