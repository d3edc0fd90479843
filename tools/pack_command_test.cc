#include "tools/pack_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/little_endian.h"
#include "tools/atomic_file.h"
#include "tools/qpa_test_support.h"

using namespace std::string_literals;

namespace {

class PackTest : public testing::Test {
 protected:
  void SetUp() override { writeFile(payload_, payloadBytes_); }

  // Packs the payload into "out.qpa" and expects success with no output.
  void pack(std::vector<std::string> options) {
    std::vector<std::string> args = {"pack", payload_, "-o", out_};
    args.insert(args.end(), options.begin(), options.end());
    ProcessOutcome run = runQpa(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }

  std::string block() const {
    std::string archive = readFile(out_);
    return archive.size() < layout::kBlockSize
               ? ""
               : archive.substr(archive.size() - layout::kBlockSize);
  }

  int32_t slot(layout::TextSlot which) const {
    std::string b = block();
    return static_cast<int32_t>(loadLE32(reinterpret_cast<const unsigned char*>(b.data()) +
                                         layout::kTextOffsetFields[which].offset));
  }

  ScratchDirectory dir_;
  std::string payload_ = dir_.file("app.payload");
  std::string out_ = dir_.file("out.qpa");
  std::string payloadBytes_ = "out Hello\\n\n\0\xff binary tail"s;
};

TEST_F(PackTest, DefaultsGiveAValid7141ArchiveAfterThePayload) {
  pack({"--start-message", "Starting", "--complete-message", "Done"});

  std::string archive = readFile(out_);
  ASSERT_EQ(archive.size(), payloadBytes_.size() + layout::kBlockSize);
  EXPECT_EQ(archive.substr(0, payloadBytes_.size()), payloadBytes_);
  EXPECT_EQ(permissionBits(out_), newFileMode());

  DataBlock b;
  std::string err;
  ASSERT_TRUE(readDataBlock(out_, &b, &err)) << err;
  EXPECT_EQ(b.versionTag, "V1DRN4000HBS1000ZTV1000");
  EXPECT_EQ(b.majorVersion, "7\0\0\0"s);
  EXPECT_EQ(b.minorVersion, "14\0\0"s);
  EXPECT_EQ(b.updaterVersion, "1\0\0\0"s);
  EXPECT_EQ(b.uuid, std::string(128, '\0'));
  EXPECT_EQ(b.blockSize, 8192);
  EXPECT_EQ(b.mainIntParam, 0);
  EXPECT_EQ(b.embeddedArchiveParam, 0);
  EXPECT_EQ(b.startMessage, "Starting");
  EXPECT_EQ(b.completeMessage, "Done");
  EXPECT_EQ(slot(layout::kComponentParam), 0);
  EXPECT_EQ(slot(layout::kList), 0);
  EXPECT_EQ(slot(layout::kMainParam), 0);
}

TEST_F(PackTest, AnEmptyValueMakesAPresentEmptyText) {
  pack({"--main-param", ""});
  EXPECT_EQ(slot(layout::kMainParam), 8188);
  EXPECT_EQ(slot(layout::kStartMessage), 0);
  EXPECT_EQ(slot(layout::kCompleteMessage), 0);
}

TEST_F(PackTest, EveryFieldRoundTrips) {
  struct Row {
    std::string option;
    std::string typed;
    std::function<std::string(const DataBlock&)> read;
    std::string expected;
  };
  const Row rows[] = {
      {"--major", "8", [](const DataBlock& b) { return b.majorVersion; }, "8\0\0\0"s},
      {"--minor", "1234", [](const DataBlock& b) { return b.minorVersion; }, "1234"},
      {"--updater", "\\x00x", [](const DataBlock& b) { return b.updaterVersion; }, "\0x\0\0"s},
      {"--uuid", "f81d4fae-7dec", [](const DataBlock& b) { return b.uuid; },
       "f81d4fae-7dec" + std::string(115, '\0')},
      {"--start-message", "Start\\tup\\n", [](const DataBlock& b) { return b.startMessage; },
       "Start\tup\n"},
      {"--complete-message", "C:\\\\done\\x00",
       [](const DataBlock& b) { return b.completeMessage; }, "C:\\done\0"s},
      {"--component-param", "comp", [](const DataBlock& b) { return b.componentParam; }, "comp"},
      {"--main-param", "-p", [](const DataBlock& b) { return b.mainParam; }, "-p"},
      {"--list", "a,,b\\x00",
       [](const DataBlock& b) {
         std::string joined;
         for (const std::string& item : b.listItems) joined += "[" + item + "]";
         return joined;
       },
       "[a][][b\0]"s},
      {"--main-int", "-5", [](const DataBlock& b) { return std::to_string(b.mainIntParam); }, "-5"},
      {"--embedded-param", "4294967301",
       [](const DataBlock& b) { return std::to_string(b.embeddedArchiveParam); }, "4294967301"},
      {"--block-size", "4096", [](const DataBlock& b) { return std::to_string(b.blockSize); },
       "4096"},
  };
  std::vector<std::string> options;
  for (const Row& row : rows) options.push_back(row.option + "=" + row.typed);
  pack(options);

  DataBlock b;
  std::string err;
  ASSERT_TRUE(readDataBlock(out_, &b, &err)) << err;
  for (const Row& row : rows) EXPECT_EQ(row.read(b), row.expected) << row.option;
  EXPECT_EQ(readFile(out_).substr(0, payloadBytes_.size()), payloadBytes_);
}

TEST_F(PackTest, TheTagIsWrittenAsGiven) {
  struct Row {
    std::string typed;
    std::string err;
    std::string tag;
  };
  const Row rows[] = {
      {"V1DRN4000HBS1000ZTV1001",
       "the version tag is \"V1DRN4000HBS1000ZTV1001\", not \"V1DRN4000HBS1000ZTV1000\"",
       "V1DRN4000HBS1000ZTV1001"},
      {std::string(32, 'T'), "the version tag field holds no NUL byte", ""},
  };
  for (const Row& row : rows) {
    pack({"--tag", row.typed});
    DataBlock b;
    std::string err;
    EXPECT_FALSE(readDataBlock(out_, &b, &err)) << row.typed;
    EXPECT_EQ(err, row.err);
    EXPECT_EQ(b.versionTag, row.tag);
  }
}

TEST_F(PackTest, BadInputGivesOneLineAndNoFile) {
  mkdir(dir_.file("taken").c_str(), 0755);
  const std::string missing = dir_.file("missing"), fifo = dir_.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  expectRefused(dir_,
                {
                    {{"pack", missing, "-o", out_},
                     "qpa: cannot open " + missing + ": No such file or directory\n"},
                    // A payload that is no regular file is refused unread: no wait on a FIFO.
                    {{"pack", fifo, "-o", out_}, "qpa: " + fifo + " is not a regular file\n"},
                    {{"pack", dir_.file("taken"), "-o", out_},
                     "qpa: " + dir_.file("taken") + " is not a regular file\n"},
                    {{"pack", payload_, "-o", out_, "--major", "12345"},
                     "qpa: the major version is 5 bytes, its field holds 4\n"},
                    {{"pack", payload_, "-o", out_, "--uuid", std::string(129, 'u')},
                     "qpa: the uuid is 129 bytes, its field holds 128\n"},
                    {{"pack", payload_, "-o", out_, "--uuid",
                      std::string(64, 'u') + "\\x00" + std::string(64, 'u')},
                     "qpa: the uuid is 129 bytes, its field holds 128\n"},
                    {{"pack", payload_, "-o", out_, "--start-message", std::string(4000, 's'),
                      "--main-param", std::string(3165, 'm')},
                     "qpa: the texts are too long: they must fit in 7164 bytes\n"},
                    {{"pack", payload_, "-o", out_, "--list", "\\q"},
                     "qpa: --list: \\q is not an escape (use \\n, \\t, \\\\ or \\xHH)\n"},
                    {{"pack", payload_, "-o", out_, "--bogus"},
                     "qpa: The following argument was not expected: --bogus\n"},
                    {{"pack", payload_, "-o", out_, "--main-int", "2147483648"},
                     "qpa: --main-int: 2147483648 is not a whole number from -2147483648 "
                     "to 2147483647\n"},
                    {{"pack", payload_, "-o", out_, "--main-int", ""},
                     "qpa: --main-int:  is not a whole number from -2147483648 to "
                     "2147483647\n"},
                    {{"pack", payload_, "-o", out_, "--block-size", " 7"},
                     "qpa: --block-size:  7 is not a whole number from -2147483648 to "
                     "2147483647\n"},
                    {{"pack", payload_, "-o", out_, "--embedded-param", "9223372036854775808"},
                     "qpa: --embedded-param: 9223372036854775808 is not a whole number from "
                     "-9223372036854775808 to 9223372036854775807\n"},
                    {{"pack", payload_}, "qpa: --output is required\n"},
                    {{"pack", payload_, "-o", ""}, "qpa: the output name is empty\n"},
                    {{"pack", payload_, "-o", dir_.file("no/out.qpa")},
                     "qpa: cannot create a temporary file beside " + dir_.file("no/out.qpa") +
                         ": No such file or directory\n"},
                    {{"pack", payload_, "-o", dir_.file("taken")},
                     "qpa: cannot write " + dir_.file("taken") + ": Is a directory\n"},
                });
}

TEST_F(PackTest, TextsThatFillTheTextAreaExactlyFit) {
  pack({"--start-message", std::string(4000, 's'), "--main-param", std::string(3164, 'm')});
  DataBlock b;
  std::string err;
  ASSERT_TRUE(readDataBlock(out_, &b, &err)) << err;
  EXPECT_EQ(b.startMessage, std::string(4000, 's'));
  EXPECT_EQ(b.mainParam, std::string(3164, 'm'));
}

TEST(HelloExample, PacksItsPayloadWithAStartAndACompleteMessage) {
  ScratchDirectory dir;
  std::string out = dir.file("hello.qpa");
  ProcessOutcome run =
      runProgram("/bin/sh", {HELLO_DIR "/pack.sh", QPA_PATH, out}, {"PATH=/usr/bin:/bin"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string payload = readFile(HELLO_DIR "/hello.payload");
  ASSERT_FALSE(payload.empty());
  EXPECT_EQ(readFile(out).substr(0, payload.size()), payload);
  DataBlock b;
  std::string err;
  ASSERT_TRUE(readDataBlock(out, &b, &err)) << err;
  EXPECT_EQ(cString(b.majorVersion), "7");
  EXPECT_EQ(cString(b.minorVersion), "14");
  EXPECT_NE(cString(b.startMessage), "");
  EXPECT_NE(cString(b.completeMessage), "");
}

}  // namespace
