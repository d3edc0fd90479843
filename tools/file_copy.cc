#include "tools/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// The buffer of the fallback path, and the most the kernel is asked for at once, so that the
// progress line moves.
constexpr size_t kBufferBytes = size_t{1} << 20;
constexpr size_t kKernelChunkBytes = size_t{8} << 20;
// How much written output may wait before its writeback is started, so that the closing fsync
// finds the disk mostly done instead of starting on the whole file.
constexpr uint64_t kWritebackBytes = uint64_t{8} << 20;

bool gKernelCopyEnabled = true;

class RangeCopier {
 public:
  RangeCopier(const RegularFile& source, int out, const std::string& outPath,
              ProgressLine* progress)
      : source_(source), out_(out), outPath_(outPath), progress_(progress) {}

  // Copies the data of [from, to) of the source to the same bytes of the output, |shift| further.
  bool copyData(uint64_t from, uint64_t to, int64_t shift, std::string* err) {
    while (from < to) {
      size_t chunk = static_cast<size_t>(std::min<uint64_t>(to - from, kKernelChunkBytes));
      ssize_t n = kernel_ ? copyThroughKernel(from, from + shift, chunk)
                          : copyThroughBuffer(from, from + shift, chunk, err);
      if (n < 0) return false;
      startWriteback(from + shift, static_cast<uint64_t>(n));
      from += static_cast<uint64_t>(n);
      if (progress_) progress_->advance(static_cast<uint64_t>(n));
    }
    return true;
  }

  bool changedSize(std::string* err) const {
    struct stat status;
    if (fstat(source_.fd(), &status) != 0) {
      *err = "cannot examine " + source_.path() + ": " + strerror(errno);
      return true;
    }
    uint64_t now = static_cast<uint64_t>(status.st_size);
    if (now == source_.size()) return false;
    *err = source_.path() + " changed size while it was copied: " + std::to_string(source_.size()) +
           " bytes when opened, " + std::to_string(now) + " now";
    return true;
  }

 private:
  // Hands the output written since the last call that started any to the disk once there is enough
  // of it, without waiting. Failing here is harmless: the fsync that ends the output reports what
  // the disk refuses.
  void startWriteback(uint64_t at, uint64_t written) {
    if (unsubmitted_ == 0) unsubmittedFrom_ = at;
    unsubmitted_ = at + written - unsubmittedFrom_;
    if (unsubmitted_ < kWritebackBytes) return;
    sync_file_range(out_, static_cast<off_t>(unsubmittedFrom_), static_cast<off_t>(unsubmitted_),
                    SYNC_FILE_RANGE_WRITE);
    unsubmitted_ = 0;
  }

  // The bytes copied; 0 when the kernel copied none, which hands the rest to the buffer.
  ssize_t copyThroughKernel(uint64_t from, uint64_t at, size_t chunk) {
    loff_t in = static_cast<loff_t>(from);
    loff_t outAt = static_cast<loff_t>(at);
    ssize_t n;
    do {
      n = copy_file_range(source_.fd(), &in, out_, &outAt, chunk, 0);
    } while (n < 0 && errno == EINTR);
    // Another file system (EXDEV), no support (ENOSYS, EOPNOTSUPP, EINVAL) or a short copy: the
    // buffer goes on from here. It also meets any other error again, and names the file at fault.
    if (n <= 0) kernel_ = false;
    return std::max<ssize_t>(n, 0);
  }

  ssize_t copyThroughBuffer(uint64_t from, uint64_t at, size_t chunk, std::string* err) {
    if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferBytes);
    chunk = std::min(chunk, kBufferBytes);
    ssize_t n;
    do {
      n = pread(source_.fd(), buffer_.get(), chunk, static_cast<off_t>(from));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      *err = "cannot read " + source_.path() + ": " + strerror(errno);
      return -1;
    }
    if (n == 0) {
      if (!changedSize(err)) *err = "cannot read " + source_.path() + ": short read";
      return -1;
    }
    for (ssize_t written = 0; written < n;) {
      ssize_t w = pwrite(out_, buffer_.get() + written, static_cast<size_t>(n - written),
                         static_cast<off_t>(at + static_cast<uint64_t>(written)));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        *err = "cannot write " + outPath_ + ": " + strerror(errno);
        return -1;
      }
      written += w;
    }
    return n;
  }

  const RegularFile& source_;
  int out_;
  const std::string& outPath_;
  ProgressLine* progress_;
  bool kernel_ = gKernelCopyEnabled;
  std::unique_ptr<char[]> buffer_;
  uint64_t unsubmittedFrom_ = 0;
  uint64_t unsubmitted_ = 0;
};

}  // namespace

bool copyFileRange(const RegularFile& source, uint64_t offset, uint64_t length, int out,
                   uint64_t outOffset, const std::string& outPath, ProgressLine* progress,
                   std::string* err) {
  RangeCopier copier(source, out, outPath, progress);
  const int64_t shift = static_cast<int64_t>(outOffset) - static_cast<int64_t>(offset);
  const uint64_t end = offset + length;
  uint64_t at = offset;
  while (at < end) {
    off_t data = lseek(source.fd(), static_cast<off_t>(at), SEEK_DATA);
    off_t hole = data < 0 ? -1 : lseek(source.fd(), data, SEEK_HOLE);
    if (data < 0 && errno == ENXIO) break;  // nothing but a hole up to the end of the file
    if (data < 0 || hole < 0) {
      // A file system that cannot tell where data lies: all of it is copied.
      data = static_cast<off_t>(at);
      hole = static_cast<off_t>(end);
    }
    uint64_t from = std::min<uint64_t>(static_cast<uint64_t>(data), end);
    uint64_t to = std::min<uint64_t>(static_cast<uint64_t>(hole), end);
    if (progress) progress->advance(from - at);
    if (!copier.copyData(from, to, shift, err)) return false;
    at = std::max(to, from);
  }
  if (progress) progress->advance(end - std::min(at, end));
  // A file that grew, or shrank into what was taken for a hole, is not copied half.
  return !copier.changedSize(err);
}

void setKernelCopyEnabled(bool enabled) { gKernelCopyEnabled = enabled; }
