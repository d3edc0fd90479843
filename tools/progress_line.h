// The one line that a long copy shows on a terminal: bytes done, percent and rate, redrawn in place
// and cleared when the copy ends, so that what a script captures from standard error never has it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Seconds on a clock that only moves forward.
double monotonicSeconds();

// The line's text for |done| of |total| bytes after |seconds|.
std::string progressText(uint64_t done, uint64_t total, double seconds);

class ProgressLine {
 public:
  // Shows the progress of a job of |total| bytes on |fd|, and only when |fd| is a terminal. |clock|
  // gives the time, in seconds, from which the job's start and rate are taken.
  ProgressLine(int fd, uint64_t total, std::function<double()> clock = monotonicSeconds);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // |bytes| more are done; the line appears once the job has run for a second.
  void advance(uint64_t bytes);
  // Removes the line, if it is shown.
  void clear();

 private:
  void write(const std::string& text);

  int fd_;
  bool terminal_;
  uint64_t total_;
  uint64_t done_ = 0;
  std::function<double()> clock_;
  double start_;
  double drawnAt_ = 0;
  size_t shownWidth_ = 0;
};
