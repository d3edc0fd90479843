#include "tools/progress_line.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {

// A copy shorter than this shows nothing; a longer one is redrawn this often.
constexpr double kQuietSeconds = 1.0;
constexpr double kRedrawSeconds = 0.25;

std::string bytesText(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
  return text;
}

}  // namespace

double monotonicSeconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string progressText(uint64_t done, uint64_t total, double seconds) {
  unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100.0 / total);
  double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  return "qpa: " + bytesText(static_cast<double>(done)) + " of " +
         bytesText(static_cast<double>(total)) + " copied, " + std::to_string(percent) + "%, " +
         bytesText(rate) + "/s";
}

ProgressLine::ProgressLine(int fd, uint64_t total, std::function<double()> clock)
    : fd_(fd),
      terminal_(isatty(fd) == 1),
      total_(total),
      clock_(std::move(clock)),
      start_(clock_()) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::advance(uint64_t bytes) {
  done_ += bytes;
  if (!terminal_) return;
  double now = clock_();
  if (now - start_ < kQuietSeconds || (shownWidth_ > 0 && now - drawnAt_ < kRedrawSeconds)) {
    return;
  }
  drawnAt_ = now;
  std::string text = progressText(done_, total_, now - start_);
  size_t width = text.size();
  // A shorter line than the last is padded, so that none of the last stays behind it.
  if (width < shownWidth_) text.append(shownWidth_ - width, ' ');
  write("\r" + text);
  shownWidth_ = std::max(width, shownWidth_);
}

void ProgressLine::clear() {
  if (shownWidth_ == 0) return;
  write("\r" + std::string(shownWidth_, ' ') + "\r");
  shownWidth_ = 0;
}

void ProgressLine::write(const std::string& text) {
  int savedErrno = errno;
  // The line is only a courtesy: a terminal that takes none of it changes nothing else.
  for (size_t at = 0; at < text.size();) {
    ssize_t n = ::write(fd_, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  errno = savedErrno;
}
