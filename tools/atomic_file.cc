#include "tools/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The temporary file: removed when it goes out of scope unless it has been renamed into place.
class TemporaryFile {
 public:
  bool create(const std::string& beside, std::string* err) {
    size_t slash = beside.rfind('/');
    std::string dir = slash == std::string::npos ? "" : beside.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? beside : beside.substr(slash + 1);
    // Cut so that the temporary name fits wherever the output's own name does.
    constexpr std::string_view kSuffix = ".qpa-XXXXXX";
    base.resize(std::min(base.size(), size_t{NAME_MAX} - 1 - kSuffix.size()));
    path_ = dir + "." + base + std::string(kSuffix);
    fd_ = mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      path_.clear();
      *err = "cannot create a temporary file beside " + beside + ": " + strerror(errno);
      return false;
    }
    return true;
  }

  bool write(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // Leaves the reason for a failure in errno, as the other steps do.
  bool finish(mode_t mode) {
    int error = 0;
    if (fsync(fd_) != 0 || fchmod(fd_, mode) != 0) error = errno;
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    errno = error;
    return error == 0;
  }

  bool renameTo(const std::string& path) {
    if (rename(path_.c_str(), path.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace

bool writeFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces,
                         mode_t mode, std::string* err) {
  TemporaryFile temp;
  if (!temp.create(path, err)) return false;
  for (std::string_view piece : pieces) {
    if (!temp.write(piece)) {
      *err = "cannot write " + path + ": " + strerror(errno);
      return false;
    }
  }
  if (!temp.finish(mode) || !temp.renameTo(path)) {
    *err = "cannot write " + path + ": " + strerror(errno);
    return false;
  }
  return true;
}

mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool existingFileMode(const std::string& path, mode_t* mode, std::string* err) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    *err = "cannot examine " + path + ": " + strerror(errno);
    return false;
  }
  *mode = status.st_mode & 0777;
  return true;
}
