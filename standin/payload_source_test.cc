#include "standin/payload_source.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using namespace std::string_literals;

// The last 8192 bytes, which the payload never includes. Not zero bytes, so that a payload that
// ran into them would show.
const std::string kBlock(8192, 'B');

class ReadPayload : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/payload-source-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& bytes) {
    std::string path = dir_ + "/archive";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  std::string dir_;
};

TEST_F(ReadPayload, TakesTheBytesFromTheOffsetUpToTheBlockOrTheFirstNul) {
  struct Case {
    std::string before;  // the file's bytes before the block
    int64_t offset;
    std::string payload;
  } cases[] = {
      {"out a\n", 0, "out a\n"},
      {"launcherout b\n", 8, "out b\n"},
      {"out a\n\0out b\n"s, 0, "out a\n"},
      {"\0out a\n"s, 0, ""},
      {"", 0, ""},
      // Longer than one read, with no NUL byte: every byte up to the block.
      {std::string(10000, '#'), 0, std::string(10000, '#')},
      {std::string(5000, '#') + '\0' + "out a\n", 0, std::string(5000, '#')},
  };
  for (const Case& c : cases) {
    std::string path = write(c.before + kBlock), payload, err;
    ASSERT_TRUE(readPayload(path, c.offset, &payload, &err)) << err;
    EXPECT_EQ(c.payload, payload) << c.before.size() << " bytes at " << c.offset;
  }
}

TEST_F(ReadPayload, StopsAtTheZeroBytesOfASparseArchive) {
  std::string path = write("# nothing to do\n");
  constexpr off_t kSize = off_t{1} << 40;  // 1 TiB, far more than memory: no read of it all
  ASSERT_EQ(0, truncate(path.c_str(), kSize));
  std::string payload, err;
  ASSERT_TRUE(readPayload(path, 0, &payload, &err)) << err;
  EXPECT_EQ("# nothing to do\n", payload);
}

TEST_F(ReadPayload, RefusesAShortFileAndAnOffsetOutsideThePayload) {
  std::string shortFile = write("out a\n");
  std::string payload, err;
  EXPECT_FALSE(readPayload(shortFile, 0, &payload, &err));
  EXPECT_EQ("cannot read the application payload from " + shortFile +
                ": the file is 6 bytes, shorter than its 8192-byte data block",
            err);

  std::string path = write("out a\n" + kBlock);
  for (int64_t offset : {int64_t{-1}, int64_t{7}}) {
    EXPECT_FALSE(readPayload(path, offset, &payload, &err));
    EXPECT_EQ("cannot read the application payload from " + path + ": the payload offset " +
                  std::to_string(offset) + " lies outside 0..6",
              err);
  }
}

std::string resolved(const char* path) {
  char buffer[PATH_MAX];
  return realpath(path, buffer) ? buffer : "";
}

// The executable's own code lies in the first lines of the maps, the C library's further down,
// past what one read returns.
TEST(FindMappedFile, NamesTheFileThatHoldsTheAddress) {
  std::string path;
  ASSERT_TRUE(findMappedFile(reinterpret_cast<const void*>(&resolved), &path));
  ASSERT_EQ('/', path[0]) << path;
  EXPECT_TRUE(std::filesystem::equivalent("/proc/self/exe", path)) << path;

  Dl_info library;
  ASSERT_NE(0, dladdr(reinterpret_cast<const void*>(&strlen), &library));
  ASSERT_TRUE(findMappedFile(reinterpret_cast<const void*>(&strlen), &path));
  EXPECT_EQ(resolved(library.dli_fname), path);

  int onStack = 0;
  EXPECT_FALSE(findMappedFile(&onStack, &path));
}

// What /proc/self/maps names for |address|: the path of the mapped file, or "" for none.
std::string mapsFileOf(const void* address) {
  std::ifstream maps("/proc/self/maps");
  uintptr_t wanted = reinterpret_cast<uintptr_t>(address);
  for (std::string line; std::getline(maps, line);) {
    unsigned long start = 0, end = 0;
    int pathAt = 0;
    char perms[8], dev[16];
    unsigned long offset = 0, inode = 0;
    if (sscanf(line.c_str(), "%lx-%lx %7s %lx %15s %lu %n", &start, &end, perms, &offset, dev,
               &inode, &pathAt) < 6 ||
        wanted < start || wanted >= end) {
      continue;
    }
    std::string path = pathAt > 0 ? line.substr(static_cast<size_t>(pathAt)) : "";
    return path.empty() || path[0] != '/' ? "" : path;
  }
  return "";
}

const char kReadOnly[] = "read-only data";
int initialized = 1;
// Far larger than a page: its middle lies in the zero-filled pages that no file backs.
char zeroFilled[1 << 20];

// The main program's file is found without the maps; every address must still give the file that
// the maps give, in the program's file pages and in its zero-filled tail, and outside it. The
// program's own file may be named as the kernel ran it, links not resolved.
TEST(FindMappedFile, AgreesWithTheMapsForEveryKindOfAddress) {
  int onStack = 0;
  std::unique_ptr<char[]> onHeap(new char[1 << 20]);
  Dl_info library;
  ASSERT_NE(0, dladdr(reinterpret_cast<const void*>(&strlen), &library));
  struct Case {
    const char* what;
    const void* address;
    bool inFile;
    bool own;
  } cases[] = {
      {"own code", reinterpret_cast<const void*>(&mapsFileOf), true, true},
      {"own read-only data", kReadOnly, true, true},
      {"own data", &initialized, true, true},
      {"own zero-filled data", zeroFilled + sizeof zeroFilled / 2, false, true},
      {"library code", reinterpret_cast<const void*>(&strlen), true, false},
      {"stack", &onStack, false, false},
      {"heap", onHeap.get() + (1 << 19), false, false},
      {"null", nullptr, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string expected = mapsFileOf(c.address), path;
    EXPECT_EQ(c.inFile, !expected.empty());
    EXPECT_EQ(!expected.empty(), findMappedFile(c.address, &path));
    if (expected.empty()) continue;
    if (c.own) {
      ASSERT_EQ('/', path[0]) << path;
      EXPECT_TRUE(std::filesystem::equivalent(expected, path)) << path;
    } else {
      EXPECT_EQ(expected, path);
    }
  }
}

}  // namespace
