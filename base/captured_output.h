// For tests: what reaches descriptors 1 and 2 while a CapturedOutput lives.
#pragma once

#include <string>

// Points descriptors 1 and 2 at temporary files, and back at what they were when the bytes are
// taken (before a test asserts, so that its messages reach the terminal) or at the latest when it
// is destroyed.
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  // Stops the capture and returns the bytes that reached descriptor 1, and 2.
  std::string out();
  std::string err();

 private:
  struct Capture {
    int saved = -1;
    int file = -1;
    std::string bytes;
  };
  void stop();

  Capture captures_[2];
};
