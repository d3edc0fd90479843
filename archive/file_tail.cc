#include "archive/file_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// An open descriptor of a regular file, closed on every path out.
class RegularFile {
 public:
  bool open(const std::string& path, std::string* err) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      *err = "cannot open " + path + ": " + strerror(errno);
      return false;
    }
    struct stat st;
    if (fstat(fd_, &st) != 0) {
      *err = "cannot examine " + path + ": " + strerror(errno);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *err = path + " is not a regular file";
      return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
  }
  ~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// Reads |count| bytes from |at| of the open |file| into |bytes|.
bool readAt(const RegularFile& file, const std::string& path, uint64_t at, size_t count,
            unsigned char* bytes, std::string* err) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = pread(file.fd(), bytes + done, count - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = "cannot read " + path + (n < 0 ? std::string(": ") + strerror(errno) : ": short read");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool readFileTail(const std::string& path, size_t count, unsigned char* bytes, std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  if (file.size() < count) {
    *err = tooShortReason(path, file.size(), count);
    return false;
  }
  return readAt(file, path, file.size() - count, count, bytes, err);
}

bool readWholeFile(const std::string& path, std::string* bytes, std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  // The size of the file as opened: one open, so a file that changes meanwhile cannot mix the
  // size of one with the bytes of another.
  std::string whole(file.size(), '\0');
  if (!readAt(file, path, 0, whole.size(), reinterpret_cast<unsigned char*>(whole.data()), err)) {
    return false;
  }
  *bytes = std::move(whole);
  return true;
}

bool readFileEnds(const std::string& path, size_t headCount, size_t tailCount, FileEnds* ends,
                  std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  FileEnds read;
  read.size = file.size();
  read.head.resize(static_cast<size_t>(std::min<uint64_t>(headCount, read.size)));
  read.tail.resize(static_cast<size_t>(std::min<uint64_t>(tailCount, read.size)));
  if (!readAt(file, path, 0, read.head.size(), reinterpret_cast<unsigned char*>(read.head.data()),
              err) ||
      !readAt(file, path, read.size - read.tail.size(), read.tail.size(),
              reinterpret_cast<unsigned char*>(read.tail.data()), err)) {
    return false;
  }
  *ends = std::move(read);
  return true;
}

std::string tooShortReason(const std::string& path, uint64_t size, size_t count) {
  return path + " is " + std::to_string(size) + " bytes, shorter than " + std::to_string(count);
}
