// Reading the last bytes of a file, or all of them: the one place where the archive code touches
// the file system. The file is taken as it comes, so every size is checked before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the last |count| bytes of the regular file at |path| (links followed) into |bytes|, which
// has room for them. Fails, saying why in |err|, when the file cannot be opened, is not a regular
// file (so a FIFO or a device never blocks the caller), is shorter than |count|, or gives a short
// read.
bool readFileTail(const std::string& path, size_t count, unsigned char* bytes, std::string* err);

// An open descriptor of a regular file (links followed) and its size as opened, closed on every
// path out. Anything else, a FIFO or a device included, is refused without being read.
class RegularFile {
 public:
  RegularFile() = default;
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;
  ~RegularFile();

  bool open(const std::string& path, std::string* err);
  int fd() const { return fd_; }
  uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
};

// What a file holds at its two ends, read through one open of it.
struct FileEnds {
  uint64_t size = 0;
  std::string head;  // its first bytes, fewer than asked for when the file is shorter
  std::string tail;  // its last bytes, likewise
};

// Reads the size, the first |headCount| and the last |tailCount| bytes of the regular file at
// |path| (links followed), so that however large the file, only its ends are read, and all of it
// comes from one state of the file. Refuses what RegularFile refuses.
bool readFileEnds(const std::string& path, size_t headCount, size_t tailCount, FileEnds* ends,
                  std::string* err);

// The same for a file already open, with the size it had when it was opened.
bool readFileEnds(const RegularFile& file, size_t headCount, size_t tailCount, FileEnds* ends,
                  std::string* err);

// The reason readFileTail gives for a file of |size| bytes, shorter than the |count| asked for.
std::string tooShortReason(const std::string& path, uint64_t size, size_t count);
