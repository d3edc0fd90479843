#include "tools/show_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "tools/qpa_test_support.h"

namespace {

using nlohmann::json;

class ShowTest : public testing::Test {
 protected:
  void SetUp() override { writeFile(payload_, "PAYLOAD"); }

  void pack(const std::string& out, std::vector<std::string> options) {
    std::vector<std::string> args = {"pack", payload_, "-o", out};
    args.insert(args.end(), options.begin(), options.end());
    ProcessOutcome run = runQpa(args);
    ASSERT_EQ(run.status, 0) << run.err;
  }

  ScratchDirectory dir_;
  std::string payload_ = dir_.file("app.payload");
  std::string archive_ = dir_.file("app.qpa");
};

const std::vector<std::string> kEveryField = {"--uuid=id-1",
                                              "--updater=0",
                                              "--start-message=Hi\\x00there",
                                              "--complete-message=Bye\\n",
                                              "--list=a,,b\\x00",
                                              "--main-param=m",
                                              "--main-int=-5",
                                              "--embedded-param=7",
                                              "--block-size=4096",
                                              "--component-param",
                                              ""};

TEST_F(ShowTest, ShowsEveryFieldAsTheReaderYieldsIt) {
  pack(archive_, kEveryField);
  ProcessOutcome run = runQpa({"show", archive_});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "file: " + archive_ +
                         "\n"
                         "size: 8199 bytes\n"
                         "trailer: 8192\n"
                         "launcher's probe: counts as an appended archive\n"
                         "data block: accepted\n"
                         "runtime version: accepted, 7.14\n"
                         "blockSize: 4096, unlike the trailer\n"
                         "embeddedArchiveParam: 7\n"
                         "versionTag: \"V1DRN4000HBS1000ZTV1000\"\n"
                         "majorVersion: \"7\" + 3 NUL\n"
                         "minorVersion: \"14\" + 2 NUL\n"
                         "updaterVersion: \"0\" + 3 NUL\n"
                         "uuid: \"id-1\" + 124 NUL\n"
                         "mainIntParam: -5\n"
                         "startMessage: 8 bytes from offset 8180 to 8188: \"Hi\\x00there\"\n"
                         "completeMessage: 4 bytes from offset 8176 to 8180: \"Bye\\n\"\n"
                         "componentParam: 0 bytes from offset 8176 to 8176: \"\"\n"
                         "list: 5 bytes from offset 8171 to 8176: \"a,,b\" + 1 NUL\n"
                         "mainParam: 1 byte from offset 8170 to 8171: \"m\"\n"
                         "listItems: \"a\", \"\", \"b\" + 1 NUL\n"
                         "payload: 7 bytes at offset 0\n");
}

TEST_F(ShowTest, JsonHoldsTheSameAsOneDocument) {
  pack(archive_, kEveryField);
  ProcessOutcome run = runQpa({"show", "--json", archive_});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  json expected = {
      {"file", archive_},
      {"size", 8199},
      {"trailer", 8192},
      {"appendedArchive", true},
      {"accepted", true},
      {"runtimeVersion", "accepted, 7.14"},
      {"block",
       {{"blockSize", 4096},
        {"blockSizeMatchesTrailer", false},
        {"embeddedArchiveParam", 7},
        {"versionTag", "V1DRN4000HBS1000ZTV1000"},
        {"majorVersion", "7\\x00\\x00\\x00"},
        {"minorVersion", "14\\x00\\x00"},
        {"updaterVersion", "0\\x00\\x00\\x00"},
        {"uuid", "id-1" +
                     [] {
                       std::string nuls;
                       for (int i = 0; i < 124; ++i) nuls += "\\x00";
                       return nuls;
                     }()},
        {"mainIntParam", -5},
        {"texts",
         {{"startMessage",
           {{"offset", 8180}, {"end", 8188}, {"size", 8}, {"text", "Hi\\x00there"}}},
          {"completeMessage", {{"offset", 8176}, {"end", 8180}, {"size", 4}, {"text", "Bye\\n"}}},
          {"componentParam", {{"offset", 8176}, {"end", 8176}, {"size", 0}, {"text", ""}}},
          {"list", {{"offset", 8171}, {"end", 8176}, {"size", 5}, {"text", "a,,b\\x00"}}},
          {"mainParam", {{"offset", 8170}, {"end", 8171}, {"size", 1}, {"text", "m"}}}}},
        {"listItems", {"a", "", "b\\x00"}}}},
      {"payload", {{"offset", 0}, {"size", 7}, {"afterExecutable", false}}},
  };
  EXPECT_EQ(json::parse(run.out), expected);
  EXPECT_EQ(run.out.back(), '\n');
}

TEST_F(ShowTest, AnExecutablesPayloadFollowsTheExecutable) {
  pack(archive_, {});
  const std::string launcher = dir_.file("launcher"), exe = dir_.file("app");
  writeFile(launcher,
            "\x7f"
            "ELF" +
                std::string(96, 'L'));
  ASSERT_EQ(runQpa({"embed", launcher, archive_, "-o", exe}).status, 0);
  ProcessOutcome run = runQpa({"show", exe});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\nembeddedArchiveParam: 100\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\npayload: 7 bytes at offset 100, after an executable of 100 bytes\n"),
            std::string::npos)
      << run.out;
  json doc = json::parse(runQpa({"show", "--json", exe}).out);
  EXPECT_EQ(doc["payload"], json({{"offset", 100}, {"size", 7}, {"afterExecutable", true}}));

  // An ELF header in front of a block that says 0 is an archive whose payload begins with it;
  // one whose block points beyond the block has no payload to show.
  struct Case {
    std::string param, payload;
  } cases[] = {
      {"0", "\npayload: 11 bytes at offset 0\n"},
      {"12",
       "\npayload: not located: its embeddedArchiveParam 12 does not point between the "
       "executable's start and its data block at 11\n"},
  };
  for (const Case& c : cases) {
    pack(archive_, {"--embedded-param", c.param});
    writeFile(exe,
              "\x7f"
              "ELF" +
                  readFile(archive_));
    run = runQpa({"show", exe});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find(c.payload), std::string::npos) << run.out;
  }
}

TEST_F(ShowTest, ABlockTheLauncherDoesNotAcceptIsShownWithTheReason) {
  pack(dir_.file("other.qpa"), {"--tag", "OTHER", "--embedded-param", "9"});
  writeFile(dir_.file("short"), "12345");
  writeFile(dir_.file("tiny"), "123");
  writeFile(dir_.file("launcher"),
            "\x7f"
            "ELF" +
                std::string(9000, 'x'));
  struct Row {
    std::string file;
    std::string out;
  } rows[] = {
      {"other.qpa",
       "size: 8199 bytes\ntrailer: 8192\nlauncher's probe: does not count as an appended archive\n"
       "data block: not accepted: the version tag is \"OTHER\", not \"V1DRN4000HBS1000ZTV1000\"\n"
       "blockSize: 8192, as the trailer\nembeddedArchiveParam: 9\nversionTag: \"OTHER\"\n"},
      {"short",
       "size: 5 bytes\ntrailer: 892613426\nlauncher's probe: does not count as an appended "
       "archive\n"
       "data block: not accepted: $DIR/short is 5 bytes, shorter than 8192\n"},
      {"tiny",
       "size: 3 bytes\ntrailer: none: the file is shorter than 4 bytes\n"
       "launcher's probe: does not count as an appended archive\n"
       "data block: not accepted: $DIR/tiny is 3 bytes, shorter than 8192\n"},
      {"launcher",
       "size: 9004 bytes\ntrailer: 2021161080\nlauncher's probe: does not count as an appended "
       "archive\n"
       "data block: not accepted: the trailer holds 2021161080, not 8192\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    std::string expected = "file: " + dir_.file(row.file) + "\n" + row.out;
    for (size_t at; (at = expected.find("$DIR")) != std::string::npos;)
      expected.replace(at, 4, dir_.path());
    ProcessOutcome run = runQpa({"show", dir_.file(row.file)});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
  // A block the reader accepts, for a runtime the launcher does not serve.
  pack(dir_.file("v8.qpa"), {"--major", "8"});
  ProcessOutcome run = runQpa({"show", dir_.file("v8.qpa")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("\ndata block: accepted\nruntime version: refused: the launcher accepts "
                         "7.14 only\n"),
            std::string::npos)
      << run.out;

  json doc = json::parse(runQpa({"show", "--json", dir_.file("other.qpa")}).out);
  EXPECT_EQ(doc, json({{"file", dir_.file("other.qpa")},
                       {"size", 8199},
                       {"trailer", 8192},
                       {"appendedArchive", false},
                       {"accepted", false},
                       {"reason", "the version tag is \"OTHER\", not \"V1DRN4000HBS1000ZTV1000\""},
                       {"block",
                        {{"blockSize", 8192},
                         {"blockSizeMatchesTrailer", true},
                         {"embeddedArchiveParam", 9},
                         {"versionTag", "OTHER"}}}}));
  doc = json::parse(runQpa({"show", "--json", dir_.file("short")}).out);
  EXPECT_EQ(doc["block"], nullptr);
  EXPECT_EQ(doc["accepted"], false);
}

TEST_F(ShowTest, BadInputGivesOneLine) {
  mkdir(dir_.file("dir").c_str(), 0755);
  expectRefused(
      dir_,
      {
          {{"show", dir_.file("missing")},
           "qpa: cannot open " + dir_.file("missing") + ": No such file or directory\n"},
          {{"show", dir_.file("dir")}, "qpa: " + dir_.file("dir") + " is not a regular file\n"},
          {{"show"}, "qpa: FILE is required\n"},
          {{"show", archive_, "--bogus"},
           "qpa: The following argument was not expected: --bogus\n"},
      });
}

}  // namespace
