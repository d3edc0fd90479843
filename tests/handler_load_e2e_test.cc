// The output and error handlers under load: several runtime threads writing through both at once
// lose no line, repeat none, and never interleave the bytes of one write with another's.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/deployment.h"

namespace {

constexpr int kThreads = 8;
constexpr int kLines = 2000;

// The line that thread |t| writes the |i|th time to |stream|: the stand-in pads it to 64 bytes.
std::string threadLine(const std::string& stream, int t, int i) {
  std::string line = stream + " T" + std::to_string(t) + " L" + std::to_string(i) + " ";
  return line + std::string(63 - line.size(), 'x') + "\n";
}

// Every thread's lines appear exactly once each and in the order that thread wrote them; the
// threads may interleave only whole lines.
void expectEveryLineOnceAndWhole(const std::string& stream, const std::string& text) {
  std::vector<int> next(kThreads, 0);
  std::istringstream lines(text);
  int total = 0;
  for (std::string line; std::getline(lines, line); ++total) {
    int t = -1;
    if (line.compare(0, stream.size() + 2, stream + " T") == 0)
      t = std::atoi(line.c_str() + stream.size() + 2);
    if (t < 0 || t >= kThreads || next[t] >= kLines ||
        line + "\n" != threadLine(stream, t, next[t])) {
      ADD_FAILURE() << stream << ": line " << total << " is torn or out of place: " << line;
      return;
    }
    ++next[t];
  }
  EXPECT_EQ(kThreads * kLines, total) << stream;
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines * 64), text.size()) << stream;
}

TEST(HandlerLoad, ConcurrentWritesStayWholeAndComplete) {
  Deployment d;
  d.writeSidecar("threads " + std::to_string(kThreads) + " " + std::to_string(kLines) + "\n");
  ProcessLaunch launch;
  launch.program = d.executable();
  launch.argv = {d.executable()};
  launch.env = {"PATH=/usr/bin:/bin"};
  launch.timeoutSeconds = 20;
  LauncherRun r = d.runWith(launch);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(0, r.status);
  expectEveryLineOnceAndWhole("out", r.out);
  expectEveryLineOnceAndWhole("err", r.err);
}

}  // namespace
