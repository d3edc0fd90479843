#include "runtime_search/library_name.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
  const char* major;
  const char* minor;
  const char* updater;
  const char* name;
};

TEST(LibraryNameTest, AppendsTheUpdaterUnlessItIsExactlyZero) {
  const NameCase cases[] = {
      {"7", "14", "0", "libqxzekztvrt.so.7.14"},     {"7", "14", "1", "libqxzekztvrt.so.7.14.1"},
      {"7", "14", "10", "libqxzekztvrt.so.7.14.10"}, {"7", "14", "00", "libqxzekztvrt.so.7.14.00"},
      {"7", "14", "", "libqxzekztvrt.so.7.14."},     {"8", "2", "0", "libqxzekztvrt.so.8.2"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(buildLibraryName(c.major, c.minor, c.updater, nullptr), c.name)
        << "updater \"" << c.updater << "\"";
  }
}

TEST(LibraryNameTest, TracesTheNameWhereAsked) {
  std::string trace;
  EXPECT_EQ(buildLibraryName("7", "14", "1", &trace), "libqxzekztvrt.so.7.14.1");
  EXPECT_EQ(trace, "build library name=libqxzekztvrt.so.7.14.1\n");
}

}  // namespace
