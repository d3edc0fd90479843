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
  struct Case {
    std::string line;
    uintptr_t address;
    MapsLine found;
    MappedFile file;
  } cases[] = {
      {"00400000-00452000 r-xp 00000000 08:02 173521      /usr/bin/tool",
       0x00400000,
       MapsLine::kFile,
       {8, 2, 173521, "/usr/bin/tool"}},
      {"00652000-00653000 rw-p 00052000 fe:01 99          /usr/bin/other with space",
       0x00652fff,
       MapsLine::kFile,
       {0xfe, 1, 99, "/usr/bin/other with space"}},
      // Names that the kernel has changed in writing them are not taken.
      {"00400000-00452000 r-xp 00000000 08:02 7   /opt/a\\012b/tool",
       0x00400000,
       MapsLine::kFile,
       {8, 2, 7, ""}},
      {"00400000-00452000 r-xp 00000000 08:02 7   /opt/tool (deleted)",
       0x00400000,
       MapsLine::kFile,
       {8, 2, 7, ""}},
      {"00400000-00452000 r-xp 00000000 08:02 173521 /usr/bin/tool",
       0x00452000,
       MapsLine::kOther,
       {}},  // the end is exclusive
      {"7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0   [stack]",
       0x7ffd00000010,
       MapsLine::kAnonymous,
       {}},
      {"garbage line", 0x00400000, MapsLine::kOther, {}},
      {"", 0x00400000, MapsLine::kOther, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    MappedFile file;
    ASSERT_EQ(c.found, parseMapsLine(c.line, c.address, &file));
    EXPECT_EQ(c.file.devMajor, file.devMajor);
    EXPECT_EQ(c.file.devMinor, file.devMinor);
    EXPECT_EQ(c.file.inode, file.inode);
    EXPECT_EQ(c.file.path, file.path);
  }
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
