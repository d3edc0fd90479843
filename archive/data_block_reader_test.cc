#include "archive/data_block_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "archive/embedded_probe.h"

namespace {

namespace fs = std::filesystem;

class DataBlockReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvel-reader-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string validBlock() {
    DataBlockFields f;
    f.startMessage = "Hi";
    std::string block, err;
    EXPECT_TRUE(buildDataBlock(f, &block, &err)) << err;
    return block;
  }
  std::string dir_;
};

TEST_F(DataBlockReaderTest, ReadsTheBlockAtTheEndWhateverComesBefore) {
  for (std::string payload :
       {std::string(), std::string("payload bytes"), std::string(100000, '\xff')}) {
    DataBlock b;
    std::string err;
    ASSERT_TRUE(readDataBlock(write("app.qpa", payload + validBlock()), &b, &err)) << err;
    EXPECT_TRUE(b.valid);
    EXPECT_EQ("Hi", b.startMessage);
  }
}

TEST_F(DataBlockReaderTest, UnreadableOrMisshapenFilesLeaveTheRecordInitial) {
  std::string block = validBlock();
  std::string badTrailer = block;
  setBlockInt32(&badTrailer, layout::kTrailerField, 8193);
  std::string negativeTrailer = block;
  setBlockInt32(&negativeTrailer, layout::kTrailerField, -8192);
  mkfifo((dir_ + "/fifo").c_str(), 0600);
  fs::create_directory(dir_ + "/dir");
  symlink("loop", (dir_ + "/loop").c_str());

  struct Case {
    std::string path, err;
  } cases[] = {
      {dir_ + "/missing", "cannot open " + dir_ + "/missing: No such file or directory"},
      {write("empty", ""), dir_ + "/empty is 0 bytes, shorter than 8192"},
      {write("short", block.substr(1)), dir_ + "/short is 8191 bytes, shorter than 8192"},
      {write("trailer", badTrailer), "the trailer holds 8193, not 8192"},
      {write("negative", negativeTrailer), "the trailer holds -8192, not 8192"},
      {dir_ + "/fifo", dir_ + "/fifo is not a regular file"},
      {dir_ + "/dir", dir_ + "/dir is not a regular file"},
      {dir_ + "/loop", "cannot open " + dir_ + "/loop: Too many levels of symbolic links"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    DataBlock b;
    b.valid = true;
    std::string err;
    EXPECT_FALSE(readDataBlock(c.path, &b, &err));
    EXPECT_EQ(c.err, err);
    EXPECT_FALSE(b.valid);
    EXPECT_EQ("", b.versionTag);
    EXPECT_FALSE(isArchiveEmbedded(c.path));
  }
}

TEST_F(DataBlockReaderTest, ListsOnlyAcceptedBlocksWhenAskedTo) {
  std::string good = write("good.qpa", validBlock());
  DataBlockFields other;
  other.versionTag = "other";
  std::string otherBlock, err;
  ASSERT_TRUE(buildDataBlock(other, &otherBlock, &err));
  std::string refused = write("refused.qpa", otherBlock);

  std::string listing;
  DataBlock b;
  readDataBlock(refused, &b, &err, &listing);
  EXPECT_EQ("", listing);
  ASSERT_TRUE(readDataBlock(good, &b, &err, &listing));
  EXPECT_EQ(0u, listing.find("QPA_DataBlock:\nData block size = 8192 bytes\n"));
  EXPECT_NE(std::string::npos, listing.find("\nStart message:Hi\nComplete message:\n"));
  std::string readerListing = listing;
  listing.clear();
  DataBlock probed;
  EXPECT_TRUE(isArchiveEmbedded(good, &listing, &probed));
  EXPECT_EQ(readerListing, listing);
  // The probe yields the block as the reader does, so start-up need not read it a second time.
  std::string probedListing;
  appendDataBlockListing(probed, &probedListing);
  EXPECT_EQ(readerListing, probedListing);
  EXPECT_TRUE(probed.valid);
}

TEST_F(DataBlockReaderTest, ProbeRequiresTheTrailerAndTheTag) {
  DataBlockFields other;
  other.versionTag = "V1DRN4000HBS1000ZTV1001";
  std::string otherBlock, err;
  ASSERT_TRUE(buildDataBlock(other, &otherBlock, &err));
  EXPECT_TRUE(isArchiveEmbedded(write("exe",
                                      "\x7f"
                                      "ELF..." +
                                          validBlock())));
  EXPECT_FALSE(isArchiveEmbedded(write("other",
                                       "\x7f"
                                       "ELF..." +
                                           otherBlock)));
  // 8192 in the last four bytes over garbage.
  std::string garbage(9000, 'g');
  garbage.replace(garbage.size() - 4, 4, std::string("\x00\x20\x00\x00", 4));
  EXPECT_FALSE(isArchiveEmbedded(write("garbage", garbage)));
  EXPECT_FALSE(isArchiveEmbedded(write("tiny", std::string("\x00\x20", 2))));
}

}  // namespace
