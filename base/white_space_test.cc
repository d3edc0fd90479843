#include "base/white_space.h"

#include <gtest/gtest.h>

#include <boost/algorithm/string/trim.hpp>
#include <locale>

namespace {

// The trim must remove exactly what a trim with the classic locale removes, byte for byte.
TEST(TrimWhiteSpace, RemovesWhatTheClassicLocaleCallsSpace) {
  for (int b = 0; b < 256; ++b) {
    std::string pad(2, static_cast<char>(b));
    std::string text = pad + "a" + pad + "b" + pad;
    EXPECT_EQ(boost::algorithm::trim_copy(text, std::locale::classic()), trimWhiteSpace(text))
        << "byte " << b;
  }
}

TEST(TrimWhiteSpace, KeepsTheInsideAndEmptiesABlankText) {
  EXPECT_EQ("a \t b", trimWhiteSpace(" \t\n\v\f\ra \t b\r\n"));
  EXPECT_EQ("", trimWhiteSpace(" \t\n"));
  EXPECT_EQ("", trimWhiteSpace(""));
}

}  // namespace
