#include "launcher/executable_path.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

namespace {

std::string selfExe() {
  char buf[PATH_MAX];
  return realpath("/proc/self/exe", buf);
}

TEST(ParseMapsLine, TellsWhetherTheLinesMappingHoldsTheAddressAndWhatIsBehindIt) {
  const std::string tool = "00400000-00452000 r-xp 00000000 08:02 173521      /usr/bin/tool";
  const std::string other =
      "00652000-00653000 rw-p 00052000 fe:01 99          /usr/bin/other with space";
  const std::string stack = "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0   [stack]";
  unsigned maj = 0, min = 0;
  unsigned long ino = 0;
  ASSERT_EQ(MapsLine::kFile, parseMapsLine(tool, 0x00400000, &maj, &min, &ino));
  EXPECT_EQ(8u, maj);
  EXPECT_EQ(2u, min);
  EXPECT_EQ(173521ul, ino);
  ASSERT_EQ(MapsLine::kFile, parseMapsLine(other, 0x00652fff, &maj, &min, &ino));
  EXPECT_EQ(0xfeu, maj);
  EXPECT_EQ(1u, min);
  EXPECT_EQ(99ul, ino);
  EXPECT_EQ(MapsLine::kOther, parseMapsLine(tool, 0x00452000, &maj, &min, &ino));  // end exclusive
  EXPECT_EQ(MapsLine::kAnonymous, parseMapsLine(stack, 0x7ffd00000010, &maj, &min, &ino));
  EXPECT_EQ(MapsLine::kOther, parseMapsLine("garbage line", 0x00400000, &maj, &min, &ino));
  EXPECT_EQ(MapsLine::kOther, parseMapsLine("", 0x00400000, &maj, &min, &ino));
}

TEST(FindExecutablePath, NamesTheFileThatHoldsTheCode) {
  char buffer[8193];
  ASSERT_TRUE(findExecutablePath(reinterpret_cast<const void*>(&selfExe), buffer, sizeof buffer));
  EXPECT_EQ(selfExe(), std::string(buffer));

  std::string located;
  ASSERT_TRUE(locateOwnExecutable(reinterpret_cast<const void*>(&selfExe), &located));
  EXPECT_EQ(selfExe(), located);
}

TEST(FindExecutablePath, ANameThatDoesNotFitFailsAndLeavesTheBufferEmpty) {
  std::string exe = selfExe();
  std::string buffer(exe.size(), 'x');  // one byte short of the terminating NUL
  EXPECT_FALSE(
      findExecutablePath(reinterpret_cast<const void*>(&selfExe), buffer.data(), buffer.size()));
  EXPECT_EQ(std::string(exe.size(), '\0'), buffer);
}

TEST(FindExecutablePath, AnAddressOutsideAnyObjectFails) {
  char buffer[64];
  int onStack = 0;
  EXPECT_FALSE(findExecutablePath(&onStack, buffer, sizeof buffer));
  EXPECT_EQ('\0', buffer[0]);
}

// An absolute name is taken as it is, a link included; a relative one is resolved, links too.
TEST(AbsoluteExecutableName, KeepsAbsoluteNamesAndResolvesRelativeOnes) {
  namespace fs = std::filesystem;
  std::string pattern = (fs::temp_directory_path() / "executable_path_test.XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string dir = pattern;
  const std::string real = dir + "/real";
  FILE* file = fopen(real.c_str(), "w");
  ASSERT_NE(file, nullptr);
  fclose(file);
  fs::create_symlink(real, dir + "/link");
  const fs::path saved = fs::current_path();
  fs::current_path(dir);

  struct Case {
    std::string name;
    bool ok;
    std::string path;
  } cases[] = {
      {dir + "/link", true, dir + "/link"},
      {dir + "/missing", true, dir + "/missing"},
      {"link", true, real},
      {"./real", true, real},
      {"missing", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string path = "untouched";
    EXPECT_EQ(c.ok, absoluteExecutableName(c.name, &path)) << c.name;
    EXPECT_EQ(c.ok ? c.path : "untouched", path) << c.name;
  }
  fs::current_path(saved);
  fs::remove_all(dir);
}

}  // namespace
