#include "base/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Points descriptors 1 and 2 at one file while it lives, so that the order in which bytes reach
// the descriptors shows.
class SharedOutputFile {
 public:
  SharedOutputFile() {
    fflush(stdout);
    fflush(stderr);
    char pattern[] = "/tmp/standard-streams-XXXXXX";
    int fd = mkstemp(pattern);
    path_ = pattern;
    savedOut_ = dup(1);
    savedErr_ = dup(2);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
  }
  ~SharedOutputFile() {
    restore();
    unlink(path_.c_str());
  }
  std::string bytes() {
    restore();
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }

 private:
  void restore() {
    if (savedOut_ < 0) return;
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut_, 1);
    dup2(savedErr_, 2);
    close(savedOut_);
    close(savedErr_);
    savedOut_ = savedErr_ = -1;
  }
  std::string path_;
  int savedOut_ = -1, savedErr_ = -1;
};

// Both streams go through the C library's stdout and stderr, as std::cout and std::cerr do: what
// the launcher writes keeps its place among what the C library writes, and standard output is
// flushed before standard error is written.
TEST(StandardStreams, WriteThroughTheCLibraryStreamsInOrder) {
  SharedOutputFile file;
  printf("a");
  standardOutput() << "b";
  printf("c");
  standardError() << "d";
  fprintf(stderr, "e");
  standardOutput() << "f" << std::flush;
  EXPECT_EQ("abcdef", file.bytes());
}

}  // namespace
