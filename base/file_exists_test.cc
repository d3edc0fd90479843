#include "base/file_exists.h"

#include <gtest/gtest.h>

TEST(FileExists, CountsAnyKindOfFile) {
  EXPECT_TRUE(fileExists("/"));
  EXPECT_TRUE(fileExists("/dev/null"));
  EXPECT_FALSE(fileExists("/nonexistent/korvel"));
  EXPECT_FALSE(fileExists(""));
}
