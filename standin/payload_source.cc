#include "standin/payload_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>

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
  // A program is text and ends at the first NUL byte: what follows it, however large (a sparse
  // archive's zero bytes), is never read.
  payload->clear();
  char chunk[4096];
  for (int64_t at = offset; at < end;) {
    size_t wanted = static_cast<size_t>(std::min<int64_t>(sizeof chunk, end - at));
    ssize_t n = pread(fd, chunk, wanted, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *reason = n < 0 ? errnoText(errno) : "short read";
      return false;
    }
    const char* nul = static_cast<const char*>(memchr(chunk, '\0', static_cast<size_t>(n)));
    payload->append(chunk, nul ? static_cast<size_t>(nul - chunk) : static_cast<size_t>(n));
    if (nul) break;
    at += n;
  }
  return true;
}

}  // namespace

bool findMappedFile(const void* address, std::string* path) {
  uintptr_t wanted = reinterpret_cast<uintptr_t>(address);
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    uintptr_t start = 0, end = 0;
    int pathAt = -1;
    if (sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " %*s %*s %*s %*s %n", &start, &end,
               &pathAt) < 2 ||
        pathAt < 0) {
      continue;
    }
    if (wanted >= start && wanted < end && line.compare(pathAt, 1, "/") == 0) {
      *path = line.substr(pathAt);
      return true;
    }
  }
  return false;
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
