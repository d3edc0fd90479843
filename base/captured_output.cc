#include "base/captured_output.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

int temporaryFile() {
  char pattern[] = "/tmp/captured-output-XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) throw std::runtime_error("captured output: no temporary file");
  unlink(pattern);
  return fd;
}

std::string readAll(int fd) {
  std::string bytes;
  char chunk[4096];
  for (off_t at = 0;;) {
    ssize_t n = pread(fd, chunk, sizeof chunk, at);
    if (n <= 0) return bytes;
    bytes.append(chunk, static_cast<size_t>(n));
    at += n;
  }
}

}  // namespace

CapturedOutput::CapturedOutput() {
  // What the C library holds for the two descriptors goes out first, where it belongs.
  fflush(stdout);
  fflush(stderr);
  for (int i = 0; i < 2; ++i) {
    captures_[i].file = temporaryFile();
    captures_[i].saved = dup(i + 1);
    dup2(captures_[i].file, i + 1);
  }
}

CapturedOutput::~CapturedOutput() { stop(); }

void CapturedOutput::stop() {
  for (int i = 0; i < 2; ++i) {
    Capture& c = captures_[i];
    if (c.saved < 0) continue;
    fflush(i == 0 ? stdout : stderr);
    dup2(c.saved, i + 1);
    close(c.saved);
    c.bytes = readAll(c.file);
    close(c.file);
    c.saved = c.file = -1;
  }
}

std::string CapturedOutput::out() {
  stop();
  return captures_[0].bytes;
}

std::string CapturedOutput::err() {
  stop();
  return captures_[1].bytes;
}
