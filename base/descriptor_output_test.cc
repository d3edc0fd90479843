#include "base/descriptor_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "base/captured_output.h"

namespace {

// Everything written so far is on the descriptor before the call returns, in order, also across
// descriptors and more parts than one writev takes.
TEST(DescriptorOutput, WritesEveryPartInOrderAtOnce) {
  CapturedOutput output;
  writeToDescriptor(1, {"a", "", "b", "c", "d", "e", "f", "g", "h", "i", "", "j"});
  writeToDescriptor(2, {"x", std::string_view("\0y", 2)});
  writeToDescriptor(1, {});
  writeToDescriptor(1, {"k\n"});
  EXPECT_EQ("abcdefghijk\n", output.out());
  EXPECT_EQ(std::string("x\0y", 3), output.err());
}

// A text larger than the pipe holds is written whole while the reader drains it.
TEST(DescriptorOutput, WritesATextLargerThanThePipe) {
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  const std::string big(1 << 20, 'q');
  std::string received;
  std::thread reader([&] {
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;) received.append(chunk, n);
  });
  writeToDescriptor(ends[1], {big, "!"});
  close(ends[1]);
  reader.join();
  close(ends[0]);
  EXPECT_EQ(big + "!", received);
}

}  // namespace
