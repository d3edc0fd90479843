#include "tools/progress_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

TEST(ProgressText, GivesBytesDonePercentAndRate) {
  struct Case {
    uint64_t done, total;
    double seconds;
    std::string text;
  } cases[] = {
      {0, 0, 0, "qpa: 0 B of 0 B copied, 100%, 0 B/s"},
      {512, 1024, 0.5, "qpa: 512 B of 1.0 KiB copied, 50%, 1.0 KiB/s"},
      {uint64_t{1536} << 20, uint64_t{4} << 30, 2,
       "qpa: 1.5 GiB of 4.0 GiB copied, 37%, 768.0 MiB/s"},
      {uint64_t{5} << 40, uint64_t{5} << 40, 1, "qpa: 5.0 TiB of 5.0 TiB copied, 100%, 5.0 TiB/s"},
  };
  for (const Case& c : cases) EXPECT_EQ(progressText(c.done, c.total, c.seconds), c.text);
}

// What the other end of |fd|'s terminal or pipe has received so far.
std::string pending(int fd) {
  std::string bytes;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(n));
  return bytes;
}

// A step of a copy: the clock's time, the bytes then done, and what the line shows after it.
struct Step {
  double at;
  uint64_t bytes;
  std::string shown;
};

void runSteps(int writeFd, int readFd, const std::vector<Step>& steps) {
  double now = 10;
  size_t widest = 0;
  {
    ProgressLine line(writeFd, 4096, [&now] { return now; });
    for (const Step& step : steps) {
      now = 10 + step.at;
      line.advance(step.bytes);
      EXPECT_EQ(pending(readFd), step.shown) << step.at;
      if (!step.shown.empty()) widest = std::max(widest, step.shown.size() - 1);
    }
  }
  // Gone when the copy ends, whether it was shown or not.
  EXPECT_EQ(pending(readFd), widest == 0 ? "" : "\r" + std::string(widest, ' ') + "\r");
}

TEST(ProgressLine, OnATerminalAppearsAfterASecondAndIsRedrawnThenCleared) {
  int controller, terminal;
  ASSERT_EQ(openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  termios raw;
  tcgetattr(terminal, &raw);
  cfmakeraw(&raw);
  tcsetattr(terminal, TCSANOW, &raw);
  fcntl(controller, F_SETFL, O_NONBLOCK);
  runSteps(terminal, controller,
           {
               {0.5, 1024, ""},
               {1.0, 1024, "\rqpa: 2.0 KiB of 4.0 KiB copied, 50%, 2.0 KiB/s"},
               {1.1, 1024, ""},
               {2.0, 1024, "\rqpa: 4.0 KiB of 4.0 KiB copied, 100%, 2.0 KiB/s"},
           });
  close(controller);
  close(terminal);
}

TEST(ProgressLine, ShowsNothingWhenNotATerminal) {
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_NONBLOCK), 0);
  runSteps(pipeFds[1], pipeFds[0], {{0.5, 1024, ""}, {5, 1024, ""}, {9, 2048, ""}});
  close(pipeFds[0]);
  close(pipeFds[1]);
}

}  // namespace
