#include "standin/payload_source.h"

#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "archive/data_block_layout.h"

namespace {

std::string errnoText(int error) {
  char buffer[256];
  return strerror_r(error, buffer, sizeof buffer);
}

// Fails with the reason alone; readPayload puts the file in front of it.
bool readRange(int fd, int64_t offset, std::string* payload, std::string* reason) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *reason = errnoText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *reason = "not a regular file";
    return false;
  }
  int64_t size = st.st_size;
  if (size < layout::kBlockSize) {
    *reason = "the file is " + std::to_string(size) + " bytes, shorter than its " +
              std::to_string(layout::kBlockSize) + "-byte data block";
    return false;
  }
  int64_t end = size - layout::kBlockSize;
  if (offset < 0 || offset > end) {
    *reason =
        "the payload offset " + std::to_string(offset) + " lies outside 0.." + std::to_string(end);
    return false;
  }
  // A program ends at the first NUL byte, and nothing after it is read. Read into |payload| in
  // doubling pieces: a small program takes one small read, and no buffer deepens the stack.
  payload->clear();
  size_t piece = 256;
  for (int64_t at = offset; at < end; piece = std::min<size_t>(piece * 2, size_t{1} << 20)) {
    size_t wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(piece), end - at));
    size_t had = payload->size();
    payload->resize(had + wanted);
    ssize_t n = pread(fd, payload->data() + had, wanted, at);
    if (n <= 0) payload->resize(had);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *reason = n < 0 ? errnoText(errno) : "short read";
      return false;
    }
    const char* read = payload->data() + had;
    const char* nul = static_cast<const char*>(memchr(read, '\0', static_cast<size_t>(n)));
    payload->resize(had + static_cast<size_t>(nul ? nul - read : n));
    if (nul) break;
    at += n;
  }
  return true;
}

// True, with the path in |path|, when |line| of /proc/self/maps, "start-end perms offset dev
// inode path", holds the address |wanted| and names a file. Parsed by hand, so that a start-up
// runs no scanf.
bool mapsLineNamesFile(std::string_view line, uintptr_t wanted, std::string* path) {
  uintptr_t start = 0, end = 0;
  const char* at = line.data();
  const char* stop = line.data() + line.size();
  auto [dash, startError] = std::from_chars(at, stop, start, 16);
  if (startError != std::errc() || dash == stop || *dash != '-') return false;
  auto [next, endError] = std::from_chars(dash + 1, stop, end, 16);
  if (endError != std::errc() || wanted < start || wanted >= end) return false;
  at = next;
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  for (int field = 0; field < 4; ++field) {
    while (at < stop && isBlank(*at)) ++at;
    if (at == stop) return false;
    while (at < stop && !isBlank(*at)) ++at;
  }
  while (at < stop && isBlank(*at)) ++at;
  if (at == stop || *at != '/') return false;
  path->assign(at, stop);
  return true;
}

// True when |address| lies in the main program's pages that hold bytes of its file: the kernel
// maps those of each loadable segment from the file and the segment's zero-filled rest
// anonymously, as the maps show. The program headers come from the auxiliary vector, and their
// own entry gives the load address, as the dynamic loader takes it; a program without that entry
// is left to the maps.
bool inMainProgramFilePages(uintptr_t address) {
  const auto* headers = reinterpret_cast<const ElfW(Phdr)*>(getauxval(AT_PHDR));
  const ElfW(Phdr)* last = headers ? headers + getauxval(AT_PHNUM) : headers;
  uintptr_t page = getauxval(AT_PAGESZ);
  const ElfW(Phdr)* self = std::find_if(
      headers, last, [](const ElfW(Phdr) & header) { return header.p_type == PT_PHDR; });
  if (self == last || page == 0) return false;
  uintptr_t bias = reinterpret_cast<uintptr_t>(headers) - self->p_vaddr;
  return std::any_of(headers, last, [&](const ElfW(Phdr) & segment) {
    uintptr_t start = (bias + segment.p_vaddr) & ~(page - 1);
    uintptr_t end = (bias + segment.p_vaddr + segment.p_filesz + page - 1) & ~(page - 1);
    return segment.p_type == PT_LOAD && address >= start && address < end;
  });
}

// True, with the path in |path|, when |address| lies in the main program's file pages and the
// kernel loaded that program itself. Its file is then the one the kernel ran: by the absolute name
// it was run by, which takes no system call, unless that is a descriptor's /dev/fd/N; otherwise
// the target of /proc/self/exe. A program run as the dynamic loader's argument (no interpreter
// base) is left to the maps, since both the name and the link then name the loader.
bool findMainProgramFile(uintptr_t address, std::string* path) {
  if (getauxval(AT_BASE) == 0 || !inMainProgramFilePages(address)) return false;
  const char* executed = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (executed && executed[0] == '/' && strncmp(executed, "/dev/fd/", 8) != 0) {
    *path = executed;
    return true;
  }
  std::string link(256, '\0');
  ssize_t n;
  while ((n = readlink("/proc/self/exe", link.data(), link.size())) ==
             static_cast<ssize_t>(link.size()) &&
         link.size() < PATH_MAX) {
    link.resize(link.size() * 2);
  }
  // The maps write a line feed in a path as "\012": such a path is left to them.
  if (n <= 0 || static_cast<size_t>(n) == link.size() || link[0] != '/' ||
      memchr(link.data(), '\n', static_cast<size_t>(n))) {
    return false;
  }
  link.resize(static_cast<size_t>(n));
  *path = std::move(link);
  return true;
}

// The lookup through /proc/self/maps, for any address.
bool findInMaps(uintptr_t wanted, std::string* path) {
  // Apart from the launcher's maps reader, so that the two cannot share a fault.
  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // Read only up to the line that holds the address: the kernel makes the lines as they are read,
  // and a start-up that read them all would pay for every mapping of the process.
  std::string pending;
  char chunk[512];
  bool found = false;
  for (bool atEnd = false; !found && !atEnd;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    atEnd = n <= 0;
    if (n > 0) pending.append(chunk, static_cast<size_t>(n));
    size_t lineStart = 0;
    for (size_t lineEnd; !found && (lineEnd = pending.find('\n', lineStart)) != std::string::npos;
         lineStart = lineEnd + 1) {
      found = mapsLineNamesFile(std::string_view(pending).substr(lineStart, lineEnd - lineStart),
                                wanted, path);
    }
    pending.erase(0, lineStart);
    if (!found && n == 0 && !pending.empty()) found = mapsLineNamesFile(pending, wanted, path);
  }
  close(fd);
  return found;
}

}  // namespace

bool findMappedFile(const void* address, std::string* path) {
  uintptr_t wanted = reinterpret_cast<uintptr_t>(address);
  return findMainProgramFile(wanted, path) || findInMaps(wanted, path);
}

bool readPayload(const std::string& path, int64_t offset, std::string* payload, std::string* err) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  std::string reason;
  bool ok = false;
  if (fd < 0) {
    reason = errnoText(errno);
  } else {
    ok = readRange(fd, offset, payload, &reason);
    close(fd);
  }
  if (!ok) *err = "cannot read the application payload from " + path + ": " + reason;
  return ok;
}
