#include "archive/data_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"

namespace {

using namespace std::string_literals;

std::string build(const DataBlockFields& fields) {
  std::string block, err;
  EXPECT_TRUE(buildDataBlock(fields, &block, &err)) << err;
  return block;
}

bool parse(const std::string& bytes, DataBlock* block, std::string* err) {
  return parseDataBlock(block, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                        err);
}

void expectInitial(const DataBlock& b) {
  EXPECT_FALSE(b.valid);
  EXPECT_EQ(0, b.blockSize);
  EXPECT_EQ(0, b.embeddedArchiveParam);
  EXPECT_EQ(0, b.mainIntParam);
  for (const std::string* text :
       {&b.versionTag, &b.majorVersion, &b.minorVersion, &b.updaterVersion, &b.uuid,
        &b.startMessage, &b.completeMessage, &b.componentParam, &b.mainParam}) {
    EXPECT_EQ("", *text);
  }
  EXPECT_TRUE(b.listItems.empty());
}

// The block as stored files hold it, byte by byte, written out here rather than taken from the
// layout that the reader and the writer share, so that a wrong offset in it cannot pass.
TEST(BuildDataBlock, PutsEveryFieldAtItsPlaceInTheStoredForm) {
  DataBlockFields f;
  f.blockSize = 0x01020304;
  f.versionTag = "TAG";
  f.majorVersion = "MA";
  f.minorVersion = "MI";
  f.uuid = "UU";
  f.mainIntParam = 0x05060708;
  f.embeddedArchiveParam = 0x1112131415161718;
  f.updaterVersion = "UP";
  f.startMessage = "S";
  f.completeMessage = "C";
  f.componentParam = "P";
  f.list = "L";
  f.mainParam = "M";
  std::string b = build(f);
  ASSERT_EQ(8192u, b.size());
  EXPECT_EQ("\x04\x03\x02\x01"s, b.substr(0, 4));
  EXPECT_EQ("TAG\0"s, b.substr(4, 4));
  EXPECT_EQ("MA\0"s, b.substr(36, 3));
  EXPECT_EQ("MI\0"s, b.substr(40, 3));
  EXPECT_EQ("UU\0"s, b.substr(44, 3));
  EXPECT_EQ("\x08\x07\x06\x05"s, b.substr(172, 4));
  EXPECT_EQ("\x18\x17\x16\x15\x14\x13\x12\x11"s, b.substr(176, 8));
  EXPECT_EQ("UP\0"s, b.substr(184, 3));
  // The offset slots at 224 to 243, little-endian, and the texts below the trailer at 8188, each
  // one above the next: start, complete, component parameter, list, main parameter.
  EXPECT_EQ("\xfb\x1f\0\0\xfa\x1f\0\0\xf9\x1f\0\0\xf8\x1f\0\0\xf7\x1f\0\0"s, b.substr(224, 20));
  EXPECT_EQ("MLPCS"s, b.substr(8183, 5));
  EXPECT_EQ("\0\x20\0\0"s, b.substr(8188, 4));
}

TEST(ParseDataBlock, AcceptsAWellFormedBlockFieldByField) {
  DataBlockFields f;
  f.blockSize = 1234;  // printed, never compared with the trailer
  f.updaterVersion = "0";
  f.uuid = "123e4567-e89b";
  f.mainIntParam = -7;
  f.embeddedArchiveParam = 0x123456789abLL;
  f.startMessage = "Hello\0x"s;
  f.completeMessage = "Bye";
  f.componentParam = "comp";
  f.list = "a,,b\0"s;
  f.mainParam = "";
  DataBlock b;
  std::string err;
  ASSERT_TRUE(parse(build(f), &b, &err)) << err;
  EXPECT_TRUE(b.valid);
  EXPECT_EQ(1234, b.blockSize);
  EXPECT_EQ("V1DRN4000HBS1000ZTV1000", b.versionTag);
  EXPECT_EQ("7\0\0\0"s, b.majorVersion);
  EXPECT_EQ("14\0\0"s, b.minorVersion);
  EXPECT_EQ("0\0\0\0"s, b.updaterVersion);
  EXPECT_EQ(128u, b.uuid.size());
  EXPECT_EQ("123e4567-e89b", cString(b.uuid));
  EXPECT_EQ(-7, b.mainIntParam);
  EXPECT_EQ(0x123456789abLL, b.embeddedArchiveParam);
  EXPECT_EQ("Hello\0x"s, b.startMessage);
  EXPECT_EQ("Bye", b.completeMessage);
  EXPECT_EQ("comp", b.componentParam);
  EXPECT_EQ("", b.mainParam);
  EXPECT_EQ((std::vector<std::string>{"a", "", "b\0"s}), b.listItems);
}

TEST(ParseDataBlock, SpansRunToTheNextPresentText) {
  // Complete message lower in the text area than the start message, with NUL padding between.
  std::string bytes = build({});
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kStartMessage], 8000);
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kCompleteMessage], 7000);
  bytes.replace(8000, 5, "start");
  bytes.replace(7000, 4, "done");
  DataBlock b;
  std::string err;
  ASSERT_TRUE(parse(bytes, &b, &err)) << err;
  EXPECT_EQ("start" + std::string(183, '\0'), b.startMessage);
  EXPECT_EQ("done" + std::string(996, '\0'), b.completeMessage);

  // Only the complete message: it runs up to the trailer.
  bytes = build({});
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kCompleteMessage], 8180);
  ASSERT_TRUE(parse(bytes, &b, &err)) << err;
  EXPECT_EQ(8u, b.completeMessage.size());
  EXPECT_EQ("", b.startMessage);
}

TEST(ResolveTextSpans, GivesEachPresentTextItsOffsetAndEnd) {
  std::string bytes = build({});
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kCompleteMessage], 8000);
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kList], 8000);
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kMainParam], 1024);
  TextSpans spans;
  std::string err;
  ASSERT_TRUE(resolveTextSpans(reinterpret_cast<const unsigned char*>(bytes.data()), &spans, &err))
      << err;
  auto span = [&](layout::TextSlot s) {
    return std::tuple(spans[s].present, spans[s].offset, spans[s].end);
  };
  EXPECT_EQ(span(layout::kStartMessage), std::tuple(false, 0u, 0u));
  EXPECT_EQ(span(layout::kCompleteMessage), std::tuple(true, 8000u, 8188u));
  EXPECT_EQ(span(layout::kComponentParam), std::tuple(false, 0u, 0u));
  EXPECT_EQ(span(layout::kList), std::tuple(true, 8000u, 8000u));
  EXPECT_EQ(span(layout::kMainParam), std::tuple(true, 1024u, 8000u));

  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kMainParam], 8001);
  EXPECT_FALSE(
      resolveTextSpans(reinterpret_cast<const unsigned char*>(bytes.data()), &spans, &err));
  EXPECT_EQ("the mainParam offset 8001 lies above the end of its span (8000)", err);
  EXPECT_EQ(span(layout::kMainParam), std::tuple(true, 1024u, 8000u));
}

TEST(ParseDataBlock, SplitsTheListAtEveryComma) {
  struct Case {
    std::optional<std::string> span;
    std::vector<std::string> items;
  } cases[] = {
      {std::nullopt, {}},
      {"", {}},
      {",", {"", ""}},
      {"a", {"a"}},
      {"a,,b\0"s, {"a", "", "b\0"s}},
      {"x,y,", {"x", "y", ""}},
  };
  for (const Case& c : cases) {
    DataBlockFields f;
    f.list = c.span;
    DataBlock b;
    std::string err;
    ASSERT_TRUE(parse(build(f), &b, &err)) << err;
    EXPECT_EQ(c.items, b.listItems);
  }
}

TEST(ParseDataBlock, RefusesAnotherTagKeepingOnlyTheHeaderNumbersAndTag) {
  // The longest tag that the field holds with its NUL: 31 bytes.
  for (std::string tag : {"V1DRN4000HBS1000ZTV1000X"s, "V1DRN4000HBS1000ZTV100"s, ""s, "other"s,
                          std::string(31, 't')}) {
    SCOPED_TRACE(tag);
    DataBlockFields f;
    f.versionTag = tag;
    f.blockSize = 8192;
    f.embeddedArchiveParam = 99;
    f.startMessage = "hi";
    DataBlock b;
    std::string err;
    EXPECT_FALSE(parse(build(f), &b, &err));
    EXPECT_EQ("the version tag is \"" + tag + "\", not \"V1DRN4000HBS1000ZTV1000\"", err);
    EXPECT_FALSE(b.valid);
    EXPECT_EQ(tag, b.versionTag);
    EXPECT_EQ(8192, b.blockSize);
    EXPECT_EQ(99, b.embeddedArchiveParam);
    EXPECT_EQ("", b.majorVersion);
    EXPECT_EQ("", b.startMessage);
  }
}

TEST(ParseDataBlock, LeavesAMalformedBlockWhollyInitial) {
  using Poke = std::function<void(std::string*)>;
  auto slot = [](layout::TextSlot s, int32_t v) {
    return Poke([=](std::string* b) { setBlockInt32(b, layout::kTextOffsetFields[s], v); });
  };
  auto both = [](Poke a, Poke b) { return Poke([=](std::string* x) { a(x), b(x); }); };
  struct Case {
    const char* name;
    Poke poke;
    std::string err;
  } cases[] = {
      {"tag field without NUL", [](std::string* b) { b->replace(4, 32, std::string(32, 'V')); },
       "the version tag field holds no NUL byte"},
      {"negative offset", slot(layout::kStartMessage, -1),
       "the startMessage offset -1 lies outside the text area"},
      {"offset in the header", slot(layout::kMainParam, 1023),
       "the mainParam offset 1023 lies outside the text area"},
      {"offset past the text area", slot(layout::kList, 8189),
       "the list offset 8189 lies above the end of its span (8188)"},
      {"offset far out", slot(layout::kComponentParam, 2147483647),
       "the componentParam offset 2147483647 lies above the end of its span (8188)"},
      {"offsets out of order",
       both(slot(layout::kStartMessage, 5000), slot(layout::kCompleteMessage, 6000)),
       "the completeMessage offset 6000 lies above the end of its span (5000)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = build({});
    c.poke(&bytes);
    DataBlock b;
    b.valid = true;  // the parser must reset what it is given
    std::string err;
    EXPECT_FALSE(parse(bytes, &b, &err));
    EXPECT_EQ(c.err, err);
    expectInitial(b);
  }
}

TEST(ParseDataBlock, AcceptsTheEdgesOfTheTextArea) {
  std::string bytes = build({});
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kStartMessage], 8188);  // empty text
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kCompleteMessage], 8188);
  setBlockInt32(&bytes, layout::kTextOffsetFields[layout::kMainParam], 1024);
  DataBlock b;
  std::string err;
  ASSERT_TRUE(parse(bytes, &b, &err)) << err;
  EXPECT_EQ("", b.startMessage);
  EXPECT_EQ("", b.completeMessage);
  EXPECT_EQ(8188u - 1024u, b.mainParam.size());
}

TEST(ParseDataBlock, RefusesABlockOfAnotherSize) {
  std::string bytes = build({});
  bytes += "extra";
  for (size_t size : {0ul, 1024ul, 8191ul, 8193ul}) {
    DataBlock b;
    std::string err;
    EXPECT_FALSE(parse(bytes.substr(0, size), &b, &err));
    EXPECT_EQ("the data block is " + std::to_string(size) + " bytes, not 8192", err);
    expectInitial(b);
  }
}

TEST(AppendDataBlockListing, WritesNineLinesWithEveryStoredByte) {
  DataBlockFields f;
  f.uuid = "u";
  f.startMessage = "Hi";
  DataBlock b;
  std::string err;
  ASSERT_TRUE(parse(build(f), &b, &err));
  std::string out;
  appendDataBlockListing(b, &out);
  EXPECT_EQ(
      "QPA_DataBlock:\n"
      "Data block size = 8192 bytes\n"
      "version str=V1DRN4000HBS1000ZTV1000\n"
      "ZTV Major Version:7\0\0\0\n"
      "ZTV Minor Version:14\0\0\n"
      "ZTV Updater Version:1\0\0\0\n"
      "UUID:u"s +
          std::string(127, '\0') +
          "\n"
          "Start message:Hi\n"
          "Complete message:\n"s,
      out);
}

TEST(BuildDataBlock, RefusesValuesThatDoNotFit) {
  struct Case {
    std::function<void(DataBlockFields*)> set;
    std::string err;
  } cases[] = {
      {[](DataBlockFields* f) { f->majorVersion = "12345"; },
       "the major version is 5 bytes, its field holds 4"},
      {[](DataBlockFields* f) { f->versionTag = std::string(33, 'x'); },
       "the version tag is 33 bytes, its field holds 32"},
      {[](DataBlockFields* f) { f->uuid = std::string(129, 'x'); },
       "the uuid is 129 bytes, its field holds 128"},
      {[](DataBlockFields* f) {
         f->startMessage = std::string(7000, 'x');
         f->mainParam = std::string(165, 'y');
       },
       "the texts are too long: they must fit in 7164 bytes"},
  };
  for (const Case& c : cases) {
    DataBlockFields f;
    c.set(&f);
    std::string block = "untouched", err;
    EXPECT_FALSE(buildDataBlock(f, &block, &err));
    EXPECT_EQ(c.err, err);
    EXPECT_EQ("untouched", block);
  }
}

}  // namespace
