#include "archive/file_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Reads |count| bytes from |at| of the open |file| into |bytes|.
bool readAt(const RegularFile& file, uint64_t at, size_t count, unsigned char* bytes,
            std::string* err) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = pread(file.fd(), bytes + done, count - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = "cannot read " + file.path() +
             (n < 0 ? std::string(": ") + strerror(errno) : ": short read");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

RegularFile::~RegularFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool RegularFile::open(const std::string& path, std::string* err) {
  path_ = path;
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

bool readFileTail(const std::string& path, size_t count, unsigned char* bytes, std::string* err) {
  RegularFile file;
  if (!file.open(path, err)) return false;
  if (file.size() < count) {
    *err = tooShortReason(path, file.size(), count);
    return false;
  }
  return readAt(file, file.size() - count, count, bytes, err);
}

bool readFileEnds(const std::string& path, size_t headCount, size_t tailCount, FileEnds* ends,
                  std::string* err) {
  RegularFile file;
  return file.open(path, err) && readFileEnds(file, headCount, tailCount, ends, err);
}

bool readFileEnds(const RegularFile& file, size_t headCount, size_t tailCount, FileEnds* ends,
                  std::string* err) {
  FileEnds read;
  read.size = file.size();
  read.head.resize(static_cast<size_t>(std::min<uint64_t>(headCount, read.size)));
  read.tail.resize(static_cast<size_t>(std::min<uint64_t>(tailCount, read.size)));
  if (!readAt(file, 0, read.head.size(), reinterpret_cast<unsigned char*>(read.head.data()), err) ||
      !readAt(file, read.size - read.tail.size(), read.tail.size(),
              reinterpret_cast<unsigned char*>(read.tail.data()), err)) {
    return false;
  }
  *ends = std::move(read);
  return true;
}

std::string tooShortReason(const std::string& path, uint64_t size, size_t count) {
  return path + " is " + std::to_string(size) + " bytes, shorter than " + std::to_string(count);
}
