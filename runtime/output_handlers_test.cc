#include "runtime/output_handlers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/zek_proxy.h"

namespace {

struct Write {
  int fd;
  std::string bytes;
  bool operator==(const Write&) const = default;
};
std::vector<Write> gWrites;
int gResult = 0;                // what each recorded write reports; <0 means "report the length"
std::vector<int> gNextResults;  // reported by the next writes, in order, before gResult applies

}  // namespace

// The handlers' only way out; this test stands in for the proxy library and records each call.
extern "C" int zekWrite_proxy(int fd, const char* text, size_t length) {
  gWrites.push_back({fd, std::string(text, length)});
  if (!gNextResults.empty()) {
    int result = gNextResults.front();
    gNextResults.erase(gNextResults.begin());
    return result;
  }
  return gResult < 0 ? static_cast<int>(length) : gResult;
}

namespace {

TEST(OutputHandlers, OutputHandlerWritesTheTextOnceAsItIs) {
  struct Case {
    const char* text;
    std::vector<Write> writes;
  } cases[] = {
      {"no newline", {{1, "no newline"}}},
      {"line\n", {{1, "line\n"}}},
      {"", {{1, ""}}},
      {nullptr, {{1, ""}}},
  };
  gResult = -1;
  for (const Case& c : cases) {
    gWrites.clear();
    int result = outputHandler(c.text);
    EXPECT_EQ(c.writes, gWrites);
    EXPECT_EQ(static_cast<int>(c.writes[0].bytes.size()), result);
  }
}

TEST(OutputHandlers, ErrorHandlerEndsTheTextWithOneLineFeed) {
  struct Case {
    const char* text;
    std::vector<Write> writes;
    int result;
  } cases[] = {
      {"bad thing", {{2, "bad thing"}, {2, "\n"}}, 20},
      {"bad thing\n", {{2, "bad thing\n"}}, 10},
      {"two\nlines", {{2, "two\nlines"}, {2, "\n"}}, 20},
      {"", {{2, ""}}, 10},
  };
  gResult = 10;  // a fixed result shows that the two results are added up
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    gWrites.clear();
    EXPECT_EQ(c.result, errorHandler(c.text));
    EXPECT_EQ(c.writes, gWrites);
  }
}

TEST(OutputHandlers, ErrorHandlerReportsAFailedWriteAsTheFailure) {
  struct Case {
    std::vector<int> results;
    int result;
  } cases[] = {
      {{-1, 1}, -1},
      {{3, -1}, -1},
      {{-1, -1}, -1},
  };
  for (const Case& c : cases) {
    gWrites.clear();
    gNextResults = c.results;
    EXPECT_EQ(c.result, errorHandler("bad"));
    EXPECT_EQ((std::vector<Write>{{2, "bad"}, {2, "\n"}}), gWrites);
  }
}

}  // namespace
