#include "tools/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/file_copy.h"
#include "tools/progress_line.h"

namespace {

// The signals that end a process run from a terminal or a service manager; each would otherwise
// leave the temporary file behind.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];

// What the handler reads. A path the kernel accepted is shorter than PATH_MAX, so it fits. They
// change only while the signals are blocked, so the handler never sees them half-written.
char gTemporaryPath[PATH_MAX];
struct sigaction gPreviousActions[kSignalCount];
bool gReplaced[kSignalCount];

void removeTemporaryFileAndResignal(int signo) {
  int savedErrno = errno;
  if (gTemporaryPath[0] != '\0') unlink(gTemporaryPath);
  for (size_t i = 0; i < kSignalCount; ++i) {
    // The previous action is the default one in qpa; raised again, it ends the process with the
    // status it would have had without this handler.
    if (kCleanupSignals[i] == signo) sigaction(signo, &gPreviousActions[i], nullptr);
  }
  raise(signo);
  errno = savedErrno;
}

sigset_t cleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signo : kCleanupSignals) sigaddset(&set, signo);
  return set;
}

// Blocks the cleanup signals for its lifetime, so that creating or removing the temporary file and
// recording that in the handler's state happen as one step.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set = cleanupSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// Called with the signals blocked.
void installCleanupHandlers(const std::string& path) {
  memcpy(gTemporaryPath, path.c_str(), path.size() + 1);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = removeTemporaryFileAndResignal;
  action.sa_mask = cleanupSignalSet();
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kSignalCount; ++i) {
    struct sigaction current;
    sigaction(kCleanupSignals[i], nullptr, &current);
    // An ignored signal stays ignored (nohup): the write goes on, so its temporary file must stay.
    gReplaced[i] = (current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_IGN;
    if (gReplaced[i]) sigaction(kCleanupSignals[i], &action, &gPreviousActions[i]);
  }
}

// Called with the signals blocked.
void restorePreviousHandlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (gReplaced[i]) sigaction(kCleanupSignals[i], &gPreviousActions[i], nullptr);
    gReplaced[i] = false;
  }
  gTemporaryPath[0] = '\0';
}

// The directory part of |path| with its trailing slash, empty for a bare name: a prefix that
// another name in the same directory can be appended to.
std::string directoryPrefix(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The temporary file: removed when it goes out of scope, or when a signal ends the process, unless
// it has been renamed into place. One exists at a time, as the handler has room for one path.
class TemporaryFile {
 public:
  // |beside| is where the output goes; |shownPath| names it in |err|.
  bool create(const std::string& beside, const std::string& shownPath, std::string* err) {
    std::string dir = directoryPrefix(beside);
    std::string base = beside.substr(dir.size());
    // Cut so that the temporary name fits wherever the output's own name does.
    constexpr std::string_view kSuffix = ".qpa-XXXXXX";
    base.resize(std::min(base.size(), size_t{NAME_MAX} - 1 - kSuffix.size()));
    path_ = dir + "." + base + std::string(kSuffix);
    SignalsBlocked blocked;
    fd_ = path_.size() < sizeof gTemporaryPath ? mkostemp(path_.data(), O_CLOEXEC) : -1;
    if (fd_ < 0) {
      if (path_.size() >= sizeof gTemporaryPath) errno = ENAMETOOLONG;
      path_.clear();
      *err = "cannot create a temporary file beside " + shownPath + ": " + strerror(errno);
      return false;
    }
    installCleanupHandlers(path_);
    return true;
  }

  // Appends |piece|; |shownPath| names the output in |err|.
  bool append(const OutputPiece& piece, const std::string& shownPath, ProgressLine* progress,
              std::string* err) {
    if (piece.source) {
      if (!copyFileRange(*piece.source, piece.offset, piece.length, fd_, size_, shownPath, progress,
                         err)) {
        return false;
      }
      size_ += piece.length;
      return true;
    }
    for (std::string_view bytes = piece.bytes; !bytes.empty();) {
      ssize_t n = pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(size_));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *err = "cannot write " + shownPath + ": " + strerror(errno);
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
      size_ += static_cast<uint64_t>(n);
      progress->advance(static_cast<uint64_t>(n));
    }
    return true;
  }

  // Leaves the reason for a failure in errno, as the other steps do. The size is set last, since a
  // copy ending in a hole writes nothing there.
  bool finish(mode_t mode) {
    int error = 0;
    if (ftruncate(fd_, static_cast<off_t>(size_)) != 0 || fsync(fd_) != 0 ||
        fchmod(fd_, mode) != 0) {
      error = errno;
    }
    if (::close(fd_) != 0 && error == 0) error = errno;
    fd_ = -1;
    errno = error;
    return error == 0;
  }

  bool renameTo(const std::string& path) {
    SignalsBlocked blocked;
    if (rename(path_.c_str(), path.c_str()) != 0) return false;
    path_.clear();
    restorePreviousHandlers();
    return true;
  }

  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (path_.empty()) return;
    int savedErrno = errno;
    SignalsBlocked blocked;
    unlink(path_.c_str());
    restorePreviousHandlers();
    errno = savedErrno;
  }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
};

bool readLink(const std::string& link, std::string* to) {
  std::string buffer(PATH_MAX, '\0');
  ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
  if (n < 0) return false;
  buffer.resize(static_cast<size_t>(n));
  *to = buffer;
  return true;
}

// A link whose final target does not exist yet: the output is created there, as a shell's > would,
// provided the directory it names exists.
bool danglingLinkTarget(const std::string& path, std::string* target, std::string* err) {
  std::string link = path;
  // As many links as the kernel follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    std::string to;
    if (!readLink(link, &to)) {
      *err = "cannot write " + path + ": " + strerror(errno);
      return false;
    }
    if (to.empty() || to[0] != '/') to = directoryPrefix(link) + to;
    struct stat status;
    if (lstat(to.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
      link = to;
      continue;
    }
    std::string dir = directoryPrefix(to);
    char* realDir = realpath(dir.empty() ? "." : dir.c_str(), nullptr);
    if (realDir == nullptr) {
      *err = "cannot write " + path + ": it links to " + to + ", whose directory does not exist";
      return false;
    }
    std::string resolved = realDir;
    free(realDir);
    if (resolved.back() != '/') resolved += '/';
    *target = resolved + to.substr(dir.size());
    return true;
  }
  *err = "cannot write " + path + ": " + strerror(ELOOP);
  return false;
}

// Where the new file goes: |path| itself, or the final target when |path| is a symbolic link, so
// that the link stays and what it points at is replaced. Anything but a regular file is refused
// before a byte is written: renaming over a FIFO or a device would replace it, not write to it.
bool resolveOutput(const std::string& path, std::string* target, std::string* err) {
  *target = path;
  struct stat status;
  // A missing output is made; a missing directory is reported when the temporary file is.
  if (lstat(path.c_str(), &status) != 0) return true;
  if (S_ISLNK(status.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (real != nullptr) {
      *target = real;
      free(real);
    } else if (errno != ENOENT) {
      *err = "cannot write " + path + ": " + strerror(errno);
      return false;
    } else if (!danglingLinkTarget(path, target, err)) {
      return false;
    }
    // A dangling link's target is made.
    if (stat(target->c_str(), &status) != 0) return true;
  }
  if (S_ISDIR(status.st_mode)) {
    *err = "cannot write " + path + ": " + strerror(EISDIR);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *err = "cannot write " + path + ": not a regular file";
    return false;
  }
  return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::vector<OutputPiece>& pieces,
                         mode_t mode, std::string* err) {
  if (path.empty()) {
    *err = "the output name is empty";
    return false;
  }
  std::string target;
  if (!resolveOutput(path, &target, err)) return false;
  TemporaryFile temp;
  if (!temp.create(target, path, err)) return false;
  uint64_t total = 0;
  for (const OutputPiece& piece : pieces) total += piece.size();
  ProgressLine progress(STDERR_FILENO, total);
  for (const OutputPiece& piece : pieces) {
    if (!temp.append(piece, path, &progress, err)) return false;
  }
  progress.clear();
  if (!temp.finish(mode) || !temp.renameTo(target)) {
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
