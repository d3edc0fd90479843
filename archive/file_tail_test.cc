#include "archive/file_tail.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(ReadFileEnds, GivesTheSizeAndAsMuchOfEachEndAsTheFileHas) {
  char tmpl[] = "/tmp/korvel-ends-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  struct Case {
    std::string bytes, head, tail;
  } cases[] = {
      {"", "", ""},
      {"ab", "ab", "ab"},
      {"abcdef", "abc", "cdef"},
      {"0123456789", "012", "6789"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string path = dir + "/f";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
    FileEnds ends;
    std::string err;
    ASSERT_TRUE(readFileEnds(path, 3, 4, &ends, &err)) << err;
    EXPECT_EQ(c.bytes.size(), ends.size);
    EXPECT_EQ(c.head, ends.head);
    EXPECT_EQ(c.tail, ends.tail);
  }
  FileEnds untouched;
  untouched.head = "kept";
  std::string err;
  EXPECT_FALSE(readFileEnds(dir, 3, 4, &untouched, &err));
  EXPECT_EQ(dir + " is not a regular file", err);
  EXPECT_EQ("kept", untouched.head);
  ASSERT_EQ(0, mkfifo((dir + "/fifo").c_str(), 0644));
  EXPECT_FALSE(readFileEnds(dir + "/fifo", 3, 4, &untouched, &err));
  EXPECT_EQ(dir + "/fifo is not a regular file", err);
  fs::remove_all(dir);
}

}  // namespace
