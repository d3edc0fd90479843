#include "base/text_escapes.h"

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
      {R"(a\nb\tc\\d)", "a\nb\tc\\d"},
      {R"(\x41\x6a\x6A\xff\x00z)", "Ajj\xff\0z"s},
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
      {"\\r", "\\r is not an escape (use \\n, \\t, \\\\ or \\xHH)"},
      {"\\xg4", "\\x must be followed by two hex digits"},
      {"\\x4g", "\\x must be followed by two hex digits"},
      {"end\\", "a lone \\ ends the value (write \\\\ for a backslash)"},
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

TEST(QuoteText, ShowsEveryByte) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", R"("")"},
      {"hello world ~", R"("hello world ~")"},
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"a\nb\tc\rd", R"("a\nb\tc\x0dd")"},
      {"\0\x01\x1f\x7f\x80\xff"s, R"("\x00\x01\x1f\x7f\x80\xff")"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, quoteText(c.in)) << c.out;
}

TEST(UnescapeText, EveryByteDecodesBackFromItsHexEscape) {
  std::string all, escaped;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
    escaped += std::string("\\x") + kHex[b >> 4] + kHex[b & 0xf];
  }
  std::string decoded, err;
  ASSERT_TRUE(unescapeText(escaped, &decoded, &err)) << err;
  EXPECT_EQ(all, decoded);
}
