#include "tools/file_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "tools/qpa_test_support.h"

namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// A file of |size| bytes that holds random bytes at each of |extents| (offset, length) and holes
// elsewhere; returns its bytes.
std::string writeSparseFile(const std::string& path, uint64_t size,
                            const std::vector<std::pair<uint64_t, uint64_t>>& extents) {
  std::string bytes(size, '\0');
  std::mt19937 random(7);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (const auto& [offset, length] : extents) {
    for (uint64_t i = offset; i < offset + length; ++i) bytes[i] = static_cast<char>(random());
    EXPECT_EQ(pwrite(fd, bytes.data() + offset, length, static_cast<off_t>(offset)),
              static_cast<ssize_t>(length));
  }
  EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  close(fd);
  return bytes;
}

uint64_t allocatedBytes(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_blocks) * 512 : 0;
}

class FileCopyTest : public testing::Test {
 protected:
  void TearDown() override { setKernelCopyEnabled(true); }

  // Copies [offset, offset + length) of the source to a new file at |outOffset|, the output's size
  // set as the atomic write sets it.
  bool copy(uint64_t offset, uint64_t length, uint64_t outOffset, std::string* err) {
    RegularFile source;
    if (!source.open(source_, err)) return false;
    return copyOpened(source, offset, length, outOffset, err);
  }

  bool copyOpened(const RegularFile& source, uint64_t offset, uint64_t length, uint64_t outOffset,
                  std::string* err, int flags = O_RDWR) {
    int out = open(out_.c_str(), flags | O_CREAT | O_TRUNC, 0644);
    bool copied = copyFileRange(source, offset, length, out, outOffset, out_, nullptr, err) &&
                  ftruncate(out, static_cast<off_t>(outOffset + length)) == 0;
    close(out);
    return copied;
  }

  ScratchDirectory dir_;
  std::string source_ = dir_.file("source");
  std::string out_ = dir_.file("out");
};

// Through the kernel and through the buffer alike: the same bytes, and the holes stay holes. The
// long extent spans several of the kernel's chunks and of the writeback's steps.
TEST_F(FileCopyTest, CopiesTheDataAndKeepsTheHoles) {
  const uint64_t size = 40 * kMiB + 5;
  const std::vector<std::pair<uint64_t, uint64_t>> extents = {
      {0, 5000}, {3 * kMiB + 3, 70000}, {12 * kMiB + 1, 17 * kMiB}, {size - 100, 100}};
  const std::string bytes = writeSparseFile(source_, size, extents);
  auto dataWithin = [&](uint64_t from, uint64_t to) {
    uint64_t total = 0;
    for (const auto& [offset, length] : extents) {
      uint64_t start = std::max(offset, from), end = std::min(offset + length, to);
      total += end > start ? end - start : 0;
    }
    return total;
  };
  struct Case {
    bool kernel;
    uint64_t offset, length, outOffset;
  } cases[] = {
      {true, 0, size, 0},
      {false, 0, size, 0},
      // Unaligned on both sides, starting and ending inside data.
      {true, 4000, size - 4050, 777},
      {false, 4000, size - 4050, 777},
      // Ending in a hole.
      {true, 100, 4 * kMiB, 8192},
      {false, 100, 4 * kMiB, 8192},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kernel) + " " + std::to_string(c.offset) + " " +
                 std::to_string(c.outOffset));
    setKernelCopyEnabled(c.kernel);
    std::string err;
    ASSERT_TRUE(copy(c.offset, c.length, c.outOffset, &err)) << err;
    std::string out = readFile(out_);
    ASSERT_EQ(out.size(), c.outOffset + c.length);
    EXPECT_EQ(out.substr(0, c.outOffset), std::string(c.outOffset, '\0'));
    EXPECT_TRUE(out.substr(c.outOffset) == bytes.substr(c.offset, c.length));
    EXPECT_LT(allocatedBytes(out_), dataWithin(c.offset, c.offset + c.length) + kMiB);
  }
}

TEST_F(FileCopyTest, AFileThatChangesSizeIsReported) {
  struct Case {
    bool kernel;
    uint64_t newSize;
  } cases[] = {{true, 3 * kMiB}, {false, 3 * kMiB}, {true, 1000}, {false, 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kernel) + " " + std::to_string(c.newSize));
    setKernelCopyEnabled(c.kernel);
    writeSparseFile(source_, 2 * kMiB, {{0, 2 * kMiB}});
    RegularFile source;
    std::string err;
    ASSERT_TRUE(source.open(source_, &err)) << err;
    ASSERT_EQ(truncate(source_.c_str(), static_cast<off_t>(c.newSize)), 0);
    EXPECT_FALSE(copyOpened(source, 0, source.size(), 0, &err));
    EXPECT_EQ(err, source_ + " changed size while it was copied: 2097152 bytes when opened, " +
                       std::to_string(c.newSize) + " now");
  }
}

// Whatever stops the kernel's copy, the buffer meets it again and names the file at fault.
TEST_F(FileCopyTest, AnOutputThatCannotBeWrittenIsNamed) {
  writeSparseFile(source_, 10000, {{0, 10000}});
  for (bool kernel : {true, false}) {
    setKernelCopyEnabled(kernel);
    RegularFile source;
    std::string err;
    ASSERT_TRUE(source.open(source_, &err)) << err;
    EXPECT_FALSE(copyOpened(source, 0, source.size(), 0, &err, O_RDONLY));
    EXPECT_EQ(err, "cannot write " + out_ + ": Bad file descriptor");
  }
}

}  // namespace
