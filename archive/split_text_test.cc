#include "archive/split_text.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(SplitText, KeepsEveryPieceBetweenSeparators) {
  struct Case {
    std::string text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", {""}},
      {":", {"", ""}},
      {"a", {"a"}},
      {"/a::/b", {"/a", "", "/b"}},
      {":a:", {"", "a", ""}},
      {"a\0:b\0"s, {"a\0"s, "b\0"s}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.pieces, splitText(c.text, ':')) << c.text;
}
