#include "tools/strip_command.h"

#include <gtest/gtest.h>

#include "archive/embedded_probe.h"
#include "tools/qpa_test_support.h"

namespace {

class StripTest : public PackedAppTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(makeApp("out Hello\\n\n", 0751)); }
};

TEST_F(StripTest, GivesBackTheExecutableWithItsPermissions) {
  ProcessOutcome run = runQpa({"strip", exe_, "-o", out_});
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
