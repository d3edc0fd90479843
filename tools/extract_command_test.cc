#include "tools/extract_command.h"

#include <gtest/gtest.h>

#include "tools/atomic_file.h"
#include "tools/qpa_test_support.h"

using namespace std::string_literals;

namespace {

class ExtractTest : public PackedAppTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(makeApp(payloadBytes_, 0755, {"--embedded-param", "3"}));
  }

  std::string payloadBytes_ = "out Hello\\n\n\0\xff tail"s;
};

// An archive's payload starts at 0 whatever embeddedArchiveParam says; an executable's starts
// there.
TEST_F(ExtractTest, WritesThePayloadOfAnArchiveOrAnExecutable) {
  for (const std::string& file : {archive_, exe_}) {
    ProcessOutcome run = runQpa({"extract", file, "-o", out_});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(out_), payloadBytes_) << file;
    EXPECT_EQ(permissionBits(out_), newFileMode());
  }
}

TEST_F(ExtractTest, BadInputGivesOneLineAndNoFile) {
  const std::string missing = dir_.file("missing");
  // An executable whose block says its payload starts past the block.
  const std::string exe = readFile(exe_);
  writeFile(dir_.file("bare"), std::string("\x7f") + "ELF" + exe.substr(exe.size() - 8192));
  expectRefused(
      dir_, {
                {{"extract", missing, "-o", out_},
                 "qpa: cannot open " + missing + ": No such file or directory\n"},
                {{"extract", payload_, "-o", out_},
                 "qpa: " + payload_ + " holds no accepted data block: " + payload_ + " is " +
                     std::to_string(payloadBytes_.size()) + " bytes, shorter than 8192\n"},
                {{"extract", launcher_, "-o", out_},
                 "qpa: " + launcher_ +
                     " holds no accepted data block: the trailer holds 1280068684, not "
                     "8192\n"},
                {{"extract", dir_.file("bare"), "-o", out_},
                 "qpa: " + dir_.file("bare") + ": its embeddedArchiveParam " +
                     std::to_string(launcherBytes_.size()) +
                     " does not point between the executable's start and its data block at 4\n"},
                {{"extract", archive_}, "qpa: --output is required\n"},
                {{"extract", archive_, "-o", dir_.file("no/out")},
                 "qpa: cannot create a temporary file beside " + dir_.file("no/out") +
                     ": No such file or directory\n"},
            });
}

}  // namespace
