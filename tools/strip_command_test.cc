#include "tools/strip_command.h"

#include <gtest/gtest.h>

#include "archive/embedded_probe.h"
#include "tools/qpa_test_support.h"

namespace {

class StripTest : public testing::Test {
 protected:
  void SetUp() override {
    writeFile(payload_, "out Hello\\n\n");
    writeFile(launcher_, launcherBytes_, 0751);
    ProcessResult run = runQpa({"pack", payload_, "-o", archive_});
    ASSERT_EQ(run.status, 0) << run.err;
    run = runQpa({"embed", launcher_, archive_, "-o", exe_});
    ASSERT_EQ(run.status, 0) << run.err;
  }

  ScratchDir dir_;
  std::string payload_ = dir_.file("app.payload");
  std::string archive_ = dir_.file("app.qpa");
  std::string launcher_ = dir_.file("launcher");
  std::string exe_ = dir_.file("app");
  std::string out_ = dir_.file("out");
  std::string launcherBytes_ =
      "\x7f"
      "ELF stand-in" +
      std::string(20000, 'L');
};

TEST_F(StripTest, GivesBackTheExecutableWithItsPermissions) {
  ProcessResult run = runQpa({"strip", exe_, "-o", out_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(out_), launcherBytes_);
  EXPECT_EQ(permissionBits(out_), 0751u);
  EXPECT_FALSE(isArchiveEmbedded(out_));

  // In place: the executable is replaced by its stripped self.
  run = runQpa({"strip", exe_, "-o", exe_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(exe_), launcherBytes_);
}

TEST_F(StripTest, BadInputGivesOneLineAndNoFile) {
  const std::string missing = dir_.file("missing");
  expectRefused(dir_, {
                          {{"strip", missing, "-o", out_},
                           "qpa: cannot open " + missing + ": No such file or directory\n"},
                          {{"strip", launcher_, "-o", out_},
                           "qpa: " + launcher_ +
                               " holds no accepted data block: the trailer holds 1280068684, not "
                               "8192\n"},
                          {{"strip", archive_, "-o", out_},
                           "qpa: " + archive_ +
                               " is no executable with an archive appended: it does not start with "
                               "an ELF header\n"},
                          {{"strip", exe_}, "qpa: --output is required\n"},
                          {{"strip", "-o", out_}, "qpa: EXECUTABLE is required\n"},
                      });
}

}  // namespace
