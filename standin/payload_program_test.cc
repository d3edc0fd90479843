#include "standin/payload_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <mutex>

namespace {

using namespace std::string_literals;
using Kind = PayloadCommand::Kind;

TEST(ParsePayloadProgram, ParsesEachCommand) {
  struct Case {
    std::string line;
    Kind kind;
    std::string text;
    int64_t first = 0;
    int64_t second = 0;
  } cases[] = {
      {R"(out hello\n)", Kind::kOut, "hello\n"},
      {R"(err a\x00b)", Kind::kErr, "a\0b"s},
      {"out", Kind::kOut, ""},
      {"err ", Kind::kErr, ""},
      {"out  two spaces ", Kind::kOut, " two spaces "},
      {"out crlf\r", Kind::kOut, "crlf\r"},
      {"args", Kind::kArgs, ""},
      {"params", Kind::kParams, ""},
      {"exit 0", Kind::kExit, "", 0},
      {"exit -2147483648", Kind::kExit, "", INT32_MIN},
      {"exit 2147483647", Kind::kExit, "", INT32_MAX},
      {"threads 1 0", Kind::kThreads, "", 1, 0},
      {"threads 64 100000", Kind::kThreads, "", 64, 100000},
      // Everything else is kept as written, to be reported when the program reaches it.
      {"exit", Kind::kInvalid, "exit"},
      {"exit 2147483648", Kind::kInvalid, "exit 2147483648"},
      {"exit +1", Kind::kInvalid, "exit +1"},
      {"exit 1x", Kind::kInvalid, "exit 1x"},
      {"exit  1", Kind::kInvalid, "exit  1"},
      {"args ", Kind::kInvalid, "args "},
      {"params x", Kind::kInvalid, "params x"},
      {"threads 0 1", Kind::kInvalid, "threads 0 1"},
      {"threads 65 1", Kind::kInvalid, "threads 65 1"},
      {"threads 2 100001", Kind::kInvalid, "threads 2 100001"},
      {"threads 2", Kind::kInvalid, "threads 2"},
      {"threads 2 3 4", Kind::kInvalid, "threads 2 3 4"},
      {R"(out bad\q)", Kind::kInvalid, R"(out bad\q)"},
      {" out x", Kind::kInvalid, " out x"},
      {"OUT x", Kind::kInvalid, "OUT x"},
  };
  for (const Case& c : cases) {
    std::vector<PayloadCommand> program = parsePayloadProgram(c.line);
    ASSERT_EQ(1u, program.size()) << c.line;
    EXPECT_EQ(c.kind, program[0].kind) << c.line;
    EXPECT_EQ(c.text, program[0].text) << c.line;
    EXPECT_EQ(c.first, program[0].first) << c.line;
    EXPECT_EQ(c.second, program[0].second) << c.line;
  }
}

TEST(ParsePayloadProgram, SkipsBlankAndCommentLines) {
  std::vector<PayloadCommand> program =
      parsePayloadProgram("\n# out no\n \t\r\nout a\n#\n\n\nexit 3");
  ASSERT_EQ(2u, program.size());
  EXPECT_EQ(Kind::kOut, program[0].kind);
  EXPECT_EQ("a", program[0].text);
  EXPECT_EQ(Kind::kExit, program[1].kind);
  EXPECT_EQ(3, program[1].first);
  EXPECT_TRUE(parsePayloadProgram("").empty());
}

std::mutex captureMutex;
std::string captured;  // every handler call in order, tagged with its stream

int captureOutput(const char* text) {
  std::lock_guard<std::mutex> lock(captureMutex);
  captured += "[out]"s + text;
  return 0;
}

int captureError(const char* text) {
  std::lock_guard<std::mutex> lock(captureMutex);
  captured += "[err]"s + text;
  return 0;
}

class RunPayloadProgram : public testing::Test {
 protected:
  void SetUp() override { captured.clear(); }
  int run(const std::string& payload, int argc = 0, char** argv = nullptr) {
    PayloadContext context{captureOutput, captureError, argc, argv, {"a=1\n", "b=\n"}};
    return runPayloadProgram(parsePayloadProgram(payload), context);
  }
};

TEST_F(RunPayloadProgram, RunsCommandsInOrderUntilExit) {
  char arg0[] = "./app", arg1[] = "x y";
  char* argv[] = {arg0, arg1, nullptr};
  EXPECT_EQ(-7, run("out one\nerr two\\n\nargs\nparams\nerr \nexit -7\nout never\n", 2, argv));
  EXPECT_EQ(
      "[out]one[err]two\n[out]argc=2\n[out]argv[0]=./app\n[out]argv[1]=x y\n"
      "[out]a=1\n[out]b=\n[err]",
      captured);
}

TEST_F(RunPayloadProgram, ArgsStopsAtTheEndOfArgv) {
  char arg0[] = "./app";
  char* argv[] = {arg0, nullptr};
  EXPECT_EQ(0, run("args", 5, argv));
  EXPECT_EQ("[out]argc=5\n[out]argv[0]=./app\n", captured);
  captured.clear();
  EXPECT_EQ(0, run("args", -1, argv));
  EXPECT_EQ("[out]argc=-1\n", captured);
  captured.clear();
  EXPECT_EQ(0, run("args", 2, nullptr));
  EXPECT_EQ("[out]argc=2\n", captured);
}

TEST_F(RunPayloadProgram, AnInvalidLineEndsTheProgramWith70) {
  EXPECT_EQ(70, run("out before\nfrob \\x41\nout after\n"));
  EXPECT_EQ("[out]before[err]standin: unknown payload command: frob \\x41\n", captured);
}

TEST_F(RunPayloadProgram, AnEmptyProgramReturnsZeroAndWritesNothing) {
  EXPECT_EQ(0, run(""));
  EXPECT_EQ("", captured);
}

TEST_F(RunPayloadProgram, ThreadsWriteEveryLineOnceInFull) {
  ASSERT_EQ(0, run("threads 8 200\nout done"));
  ASSERT_TRUE(captured.ends_with("[out]done"));
  std::vector<std::string> got, want;
  for (size_t at = 0; (at = captured.find('[', at)) != std::string::npos;) {
    size_t next = captured.find('[', at + 1);
    got.push_back(captured.substr(at, next - at));
    at = next == std::string::npos ? captured.size() : next;
  }
  got.pop_back();
  for (int t = 0; t < 8; ++t) {
    for (int i = 0; i < 200; ++i) {
      for (std::string stream : {"out", "err"}) {
        std::string line = stream + " T" + std::to_string(t) + " L" + std::to_string(i) + " ";
        want.push_back("[" + stream + "]" + line + std::string(63 - line.size(), 'x') + "\n");
      }
    }
  }
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(want, got);
}

}  // namespace
