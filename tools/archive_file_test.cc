#include "tools/archive_file.h"

#include <gtest/gtest.h>

#include "tools/qpa_test_support.h"

namespace {

TEST(LocateArchiveParts, AnArchiveHoldsItsPayloadFromTheStart) {
  std::string bytes = std::string(100, 'p') + std::string(8192, 'b');
  DataBlock block;
  block.embeddedArchiveParam = 40;  // not an executable, so the runtime never reads it
  ArchiveParts parts;
  std::string err;
  ASSERT_TRUE(locateArchiveParts(bytes.size(), bytes, block, &parts, &err)) << err;
  EXPECT_FALSE(parts.executable);
  EXPECT_EQ(parts.payloadOffset, 0u);
  EXPECT_EQ(parts.payloadSize, 100u);
  EXPECT_EQ(parts.blockOffset, 100u);
}

TEST(LocateArchiveParts, AnExecutableHoldsItsPayloadFromEmbeddedArchiveParam) {
  const std::string bytes =
      "\x7f"
      "ELF" +
      std::string(96, 'x') + std::string(8192, 'b');
  struct Case {
    int64_t param;
    bool ok;
    uint64_t payloadSize;
    std::string err;
    bool executable = true;
  } cases[] = {
      {60, true, 40, ""},
      {100, true, 0, ""},
      {1, true, 99, ""},
      // An archive whose payload begins with an ELF header, as qpa pack writes it.
      {0, true, 100, "", false},
      {101, false, 0,
       "its embeddedArchiveParam 101 does not point between the executable's start and its data "
       "block at 100"},
      {-5, false, 0,
       "its embeddedArchiveParam -5 does not point between the executable's start and its data "
       "block at 100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.param);
    DataBlock block;
    block.embeddedArchiveParam = c.param;
    ArchiveParts parts;
    std::string err;
    EXPECT_EQ(locateArchiveParts(bytes.size(), bytes, block, &parts, &err), c.ok);
    EXPECT_EQ(err, c.err);
    if (!c.ok) continue;
    EXPECT_EQ(parts.executable, c.executable);
    EXPECT_EQ(parts.payloadOffset, static_cast<uint64_t>(c.param));
    EXPECT_EQ(parts.payloadSize, c.payloadSize);
    EXPECT_EQ(parts.blockOffset, 100u);
  }
}

TEST(LocateArchiveParts, AFileShorterThanABlockHasNoParts) {
  ArchiveParts parts;
  std::string err;
  EXPECT_FALSE(locateArchiveParts(8191,
                                  "\x7f"
                                  "ELF",
                                  DataBlock(), &parts, &err));
  EXPECT_EQ(err, "the file is 8191 bytes, shorter than a data block");
}

TEST(OpenArchiveFile, NamesTheFileAndWhyItHoldsNoArchive) {
  ScratchDirectory dir;
  writeFile(dir.file("launcher"),
            "\x7f"
            "ELF" +
                std::string(9000, 'x'));
  ArchiveFile launcher, none;
  std::string err;
  EXPECT_FALSE(openArchiveFile(dir.file("launcher"), &launcher, &err));
  EXPECT_EQ(err, dir.file("launcher") +
                     " holds no accepted data block: the trailer holds 2021161080, not 8192");
  EXPECT_FALSE(openArchiveFile(dir.file("none"), &none, &err));
  EXPECT_EQ(err, "cannot open " + dir.file("none") + ": No such file or directory");
}

}  // namespace
