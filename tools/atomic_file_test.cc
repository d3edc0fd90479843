#include "tools/atomic_file.h"

#include <gtest/gtest.h>
#include <limits.h>

#include <cstdio>

#include "tools/qpa_test_support.h"

namespace {

TEST(WriteFileAtomically, WritesAnyNameTheDirectoryTakesAndLeavesNoTemporaryFile) {
  ScratchDir dir;
  for (size_t length : {size_t{1}, size_t{243}, size_t{244}, size_t{NAME_MAX}}) {
    std::string name(length, 'n');
    std::string err;
    ASSERT_TRUE(writeFileAtomically(dir.file(name), {"ab", "", "c"}, 0640, &err))
        << length << ": " << err;
    EXPECT_EQ("abc", readFile(dir.file(name)));
    EXPECT_EQ(0640u, permissionBits(dir.file(name)));
    EXPECT_EQ(std::set<std::string>{name}, dir.names());
    std::remove(dir.file(name).c_str());
  }
}

}  // namespace
