#include "tools/embed_command.h"

#include <gtest/gtest.h>

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/data_block_writer.h"
#include "archive/embedded_probe.h"
#include "tools/qpa_test_support.h"

namespace {

class EmbedTest : public PackedAppTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(
        packApp(payloadBytes_, 0751, {"--start-message", "Hi", "--embedded-param", "99"}));
  }

  std::string payloadBytes_ = "out Hello\\n\n";
};

TEST_F(EmbedTest, AppendsPayloadAndBlockPointingPastTheLauncher) {
  ProcessOutcome run = runQpa({"embed", launcher_, archive_, "-o", out_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");

  std::string archive = readFile(archive_);
  std::string block = archive.substr(archive.size() - layout::kBlockSize);
  setBlockInt64(&block, layout::kEmbeddedArchiveParamField,
                static_cast<int64_t>(launcherBytes_.size()));
  EXPECT_EQ(readFile(out_), launcherBytes_ + payloadBytes_ + block);
  EXPECT_EQ(permissionBits(out_), 0751u);

  DataBlock b;
  std::string err;
  ASSERT_TRUE(readDataBlock(out_, &b, &err)) << err;
  EXPECT_EQ(b.embeddedArchiveParam, static_cast<int64_t>(launcherBytes_.size()));
  EXPECT_EQ(b.startMessage, "Hi");
  EXPECT_TRUE(isArchiveEmbedded(out_));
}

// An archive is never stacked behind another: the launcher's probe finds the first, and only
// --replace lets it go.
TEST_F(EmbedTest, ReplacesACarriedArchiveOnlyWhenTold) {
  ASSERT_EQ(runQpa({"embed", launcher_, archive_, "-o", out_}).status, 0);
  writeFile(payload_, "out Other\\n\n");
  const std::string other = dir_.file("other.qpa");
  ASSERT_EQ(runQpa({"pack", payload_, "-o", other, "--start-message", "Again"}).status, 0);
  const std::string again = dir_.file("again");

  ProcessOutcome run = runQpa({"embed", out_, other, "-o", again});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "qpa: " + out_ + " already carries an archive (give --replace to replace it)\n");
  EXPECT_EQ(dir_.names().count("again"), 0u);

  run = runQpa({"embed", out_, other, "-o", again, "--replace"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string fresh = dir_.file("fresh");
  ASSERT_EQ(runQpa({"embed", launcher_, other, "-o", fresh}).status, 0);
  EXPECT_EQ(readFile(again), readFile(fresh));
  EXPECT_EQ(permissionBits(again), 0751u);

  // In place, as a deployment is updated.
  run = runQpa({"embed", out_, other, "-o", out_, "--replace"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(out_), readFile(fresh));

  // An executable given as the archive gives its payload, not its launcher.
  run = runQpa({"embed", launcher_, fresh, "-o", again});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readFile(again), readFile(fresh));
}

TEST_F(EmbedTest, BadInputGivesOneLineAndNoFile) {
  writeFile(dir_.file("short"), "12345");
  // It carries an archive by the launcher's probe, but is no executable to keep.
  writeFile(dir_.file("bare"), readFile(archive_));
  ProcessOutcome run = runQpa({"pack", payload_, "-o", dir_.file("other.qpa"), "--tag", "OTHER"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string missing = dir_.file("missing");
  expectRefused(dir_,
                {
                    {{"embed", missing, archive_, "-o", out_},
                     "qpa: cannot open " + missing + ": No such file or directory\n"},
                    {{"embed", launcher_, missing, "-o", out_},
                     "qpa: cannot open " + missing + ": No such file or directory\n"},
                    {{"embed", launcher_, dir_.file("short"), "-o", out_},
                     "qpa: " + dir_.file("short") + " holds no accepted data block: " +
                         dir_.file("short") + " is 5 bytes, shorter than 8192\n"},
                    {{"embed", launcher_, payload_, "-o", out_},
                     "qpa: " + payload_ + " holds no accepted data block: " + payload_ + " is " +
                         std::to_string(payloadBytes_.size()) + " bytes, shorter than 8192\n"},
                    {{"embed", launcher_, launcher_, "-o", out_},
                     "qpa: " + launcher_ +
                         " holds no accepted data block: the trailer holds 1280068684, not 8192\n"},
                    {{"embed", launcher_, dir_.file("other.qpa"), "-o", out_},
                     "qpa: " + dir_.file("other.qpa") +
                         " holds no accepted data block: the version tag is \"OTHER\", not "
                         "\"V1DRN4000HBS1000ZTV1000\"\n"},
                    {{"embed", launcher_, archive_}, "qpa: --output is required\n"},
                    {{"embed", launcher_, archive_, "-o", out_, "--force"},
                     "qpa: The following argument was not expected: --force\n"},
                    {{"embed", payload_, archive_, "-o", out_},
                     "qpa: " + payload_ +
                         " is no executable: it does not start with an ELF "
                         "header\n"},
                    {{"embed", dir_.file("bare"), archive_, "-o", out_, "--replace"},
                     "qpa: " + dir_.file("bare") +
                         " is no executable with an archive appended: it does not start with an "
                         "ELF header\n"},
                });
}

}  // namespace
