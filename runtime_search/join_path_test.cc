#include "runtime_search/join_path.h"

#include <gtest/gtest.h>

namespace {

struct TwoPartCase {
  const char* first;
  const char* second;
  const char* joined;
};

TEST(JoinPathTest, JoinsTwoPartsAtTheSeam) {
  const TwoPartCase cases[] = {
      {"/opt/app", "runtime", "/opt/app/runtime"},
      {"/opt/app/", "runtime", "/opt/app/runtime"},
      {"/opt/app/", "/runtime", "/opt/app/runtime"},
      {"/opt/app", "/runtime", "/opt/app/runtime"},
      {"", "runtime", "runtime"},
      {"", "/runtime", "runtime"},
      {"/opt/app", "", "/opt/app/"},
      {"/", "/runtime", "/runtime"},
      {"", "", ""},
      // Only one "/" is dropped at the seam, and none inside a part.
      {"/opt/app//", "//runtime", "/opt/app///runtime"},
      {"/opt//app", "run//time", "/opt//app/run//time"},
      // Blank padding is trimmed before the seam is looked at.
      {"  /opt/app  ", " runtime\t", "/opt/app/runtime"},
      {" \t\n\v\f\r/opt/app/ \r\n", "\f /runtime \v", "/opt/app/runtime"},
      {"   ", " /runtime", "runtime"},
      {"/opt/app", "  ", "/opt/app/"},
      {"/opt/a b", "c d", "/opt/a b/c d"},
  };
  for (const TwoPartCase& c : cases) {
    EXPECT_EQ(joinPath({c.first, c.second}), c.joined)
        << "first \"" << c.first << "\", second \"" << c.second << "\"";
  }
}

TEST(JoinPathTest, JoinsEachFurtherPartOntoTheResultSoFar) {
  EXPECT_EQ(joinPath({"/opt/app", "runtime", "tzora64"}), "/opt/app/runtime/tzora64");
  EXPECT_EQ(joinPath({"/opt/app/", "/runtime/", "/tzora64"}), "/opt/app/runtime/tzora64");
  EXPECT_EQ(joinPath({"", "runtime", "tzora64"}), "runtime/tzora64");
  EXPECT_EQ(joinPath({" /opt/app ", " runtime ", " tzora64 ", " lib.so "}),
            "/opt/app/runtime/tzora64/lib.so");
  // An empty middle part leaves a "/" that the next part's leading "/" then meets.
  EXPECT_EQ(joinPath({"/opt/app", "", "/tzora64"}), "/opt/app/tzora64");
  EXPECT_EQ(joinPath({"/opt/app", "", "tzora64"}), "/opt/app/tzora64");
}

}  // namespace
