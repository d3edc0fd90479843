#include "standin/text_escapes.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(DecodeEscapes, DecodesEachEscapeAndRejectsTheRest) {
  struct Case {
    std::string in;
    bool ok;
    std::string out;
  } cases[] = {
      {"plain text", true, "plain text"},
      {R"(a\nb\tc\\d)", true, "a\nb\tc\\d"},
      {R"(\x41\x6a\x6A\xff\x00z)", true, "Ajj\xff\0z"s},
      {R"(\\n)", true, "\\n"},
      {"", true, ""},
      {R"(\q)", false, ""},
      {R"(\r)", false, ""},
      {R"(\x4)", false, ""},
      {R"(\x4g)", false, ""},
      {R"(\xg4)", false, ""},
      {R"(end\)", false, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(c.ok, decodeEscapes(c.in, &out)) << c.in;
    if (c.ok) {
      EXPECT_EQ(c.out, out) << c.in;
    }
  }
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

TEST(QuoteText, EveryByteDecodesBackFromItsHexEscape) {
  std::string all, escaped;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
    escaped += std::string("\\x") + kHex[b >> 4] + kHex[b & 0xf];
  }
  std::string decoded;
  ASSERT_TRUE(decodeEscapes(escaped, &decoded));
  EXPECT_EQ(all, decoded);
}

}  // namespace
