#include "launcher/path_operations.h"

#include <gtest/gtest.h>

TEST(PathOperations, DirectoryArchiveNameAndSibling) {
  struct Case {
    std::string path, directory, archiveName, sibling;
  } cases[] = {
      {"/opt/app/bin/tool", "/opt/app/bin", "tool.qpa", "/opt/app/bin/tool.qpa"},
      {"/opt/app/bin/tool.bin", "/opt/app/bin", "tool.bin.qpa", "/opt/app/bin/tool.bin.qpa"},
      {"/tool", "", "tool.qpa", "/tool.qpa"},
      {"tool", ".", "tool.qpa", "./tool.qpa"},
      {"/a//b//tool", "/a//b/", "tool.qpa", "/a//b//tool.qpa"},
      {"/opt/app/", "/opt/app", ".qpa", "/opt/app/.qpa"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.directory, directoryOf(c.path));
    EXPECT_EQ(c.archiveName, archiveFileName(c.path));
    EXPECT_EQ(c.sibling, siblingArchivePath(c.path));
  }
}
