#include "tools/text_escapes.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(UnescapeText, DecodesEveryEscapeAndKeepsOtherBytes) {
  struct Case {
    std::string typed;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"plain text, with commas", "plain text, with commas"},
      {"a\\nb\\tc", "a\nb\tc"},
      {"\\\\n", "\\n"},
      {"\\x00\\x41\\xff\\xAb", "\0A\xff\xab"s},
      {"\\x411", "A1"},
      {"n\xc3\xa9", "n\xc3\xa9"},
  };
  for (const Case& c : cases) {
    std::string bytes = "stale", err;
    EXPECT_TRUE(unescapeText(c.typed, &bytes, &err)) << c.typed << ": " << err;
    EXPECT_EQ(bytes, c.bytes) << c.typed;
  }
}

TEST(UnescapeText, RefusesUnknownAndUnfinishedEscapes) {
  struct Case {
    std::string typed;
    std::string err;
  };
  const Case cases[] = {
      {"\\q", "\\q is not an escape (use \\n, \\t, \\\\ or \\xHH)"},
      {"\\0", "\\0 is not an escape (use \\n, \\t, \\\\ or \\xHH)"},
      {"ab\\", "a lone \\ ends the value (write \\\\ for a backslash)"},
      {"\\x4", "\\x must be followed by two hex digits"},
      {"\\xg0", "\\x must be followed by two hex digits"},
      {"\\x", "\\x must be followed by two hex digits"},
  };
  for (const Case& c : cases) {
    std::string bytes = "kept", err;
    EXPECT_FALSE(unescapeText(c.typed, &bytes, &err)) << c.typed;
    EXPECT_EQ(err, c.err) << c.typed;
    EXPECT_EQ(bytes, "kept") << c.typed;
  }
}

TEST(EscapeText, MakesEveryByteVisibleAndUnescapesBack) {
  struct Case {
    std::string bytes;
    std::string shown;
  };
  const Case cases[] = {
      {"", ""},
      {"plain, \"quoted\" text", "plain, \"quoted\" text"},
      {"a\nb\tc\\", "a\\nb\\tc\\\\"},
      {"7\0\0\0"s, "7\\x00\\x00\\x00"},
      {"\r\x1b\x7f\xc3\xa9", "\\x0d\\x1b\\x7f\\xc3\\xa9"},
  };
  for (const Case& c : cases) EXPECT_EQ(escapeText(c.bytes), c.shown);

  std::string every;
  for (int byte = 0; byte < 256; ++byte) every += static_cast<char>(byte);
  std::string back, err;
  ASSERT_TRUE(unescapeText(escapeText(every), &back, &err)) << err;
  EXPECT_EQ(back, every);
}
