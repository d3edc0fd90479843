#include "archive/file_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

bool readFileTail(const std::string& path, size_t count, unsigned char* bytes, std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  if (file.size() < count) {
    *err = path + " is " + std::to_string(file.size()) + " bytes, shorter than " +
           std::to_string(count);
    return false;
  }
  off_t at = static_cast<off_t>(file.size() - count);
  size_t done = 0;
  while (done < count) {
    ssize_t n = pread(file.fd(), bytes + done, count - done, at + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = "cannot read " + path + (n < 0 ? std::string(": ") + strerror(errno) : ": short read");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool readFileTail(const std::string& path, size_t count, std::string* bytes, std::string* err) {
  std::string tail(count, '\0');
  if (!readFileTail(path, count, reinterpret_cast<unsigned char*>(tail.data()), err)) return false;
  *bytes = std::move(tail);
  return true;
}

bool regularFileSize(const std::string& path, uint64_t* size, std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  *size = file.size();
  return true;
}
