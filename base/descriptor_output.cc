#include "base/descriptor_output.h"

#include <sys/uio.h>

#include <cerrno>
#include <cstddef>

namespace {

constexpr int kBatchSize = 8;

// Writes all of |count| vectors, advancing them past what each writev took. False when the
// descriptor takes nothing more.
bool writeVectors(int fd, iovec* vectors, int count) {
  while (count > 0) {
    ssize_t n = writev(fd, vectors, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    size_t written = static_cast<size_t>(n);
    while (count > 0 && written >= vectors->iov_len) {
      written -= vectors->iov_len;
      ++vectors;
      --count;
    }
    if (count > 0) {
      vectors->iov_base = static_cast<char*>(vectors->iov_base) + written;
      vectors->iov_len -= written;
    }
  }
  return true;
}

}  // namespace

void writeToDescriptor(int fd, std::initializer_list<std::string_view> parts) {
  iovec batch[kBatchSize];
  const std::string_view* part = parts.begin();
  while (part != parts.end()) {
    int count = 0;
    for (; part != parts.end() && count < kBatchSize; ++part) {
      if (part->empty()) continue;
      batch[count++] = {const_cast<char*>(part->data()), part->size()};
    }
    if (!writeVectors(fd, batch, count)) return;
  }
}
