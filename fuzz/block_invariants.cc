#include "fuzz/block_invariants.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "archive/data_block_layout.h"
#include "archive/little_endian.h"

namespace {

std::string_view fieldBytes(const unsigned char* bytes, const layout::Field& field) {
  return std::string_view(reinterpret_cast<const char*>(bytes) + field.offset, field.width);
}

int32_t fieldInt32(const unsigned char* bytes, const layout::Field& field) {
  return static_cast<int32_t>(loadLE32(bytes + field.offset));
}

// The spans of the five texts of a block, or false when an offset slot lies outside the text
// area or above the text before it.
struct Span {
  bool present = false;
  size_t begin = 0;
  size_t end = 0;
};

bool resolveSpans(const unsigned char* bytes, Span (&spans)[layout::kTextSlotCount]) {
  int64_t endMark = layout::kTextAreaEnd;
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    int64_t offset = fieldInt32(bytes, layout::kTextOffsetFields[slot]);
    if (offset == 0) continue;
    if (offset < static_cast<int64_t>(layout::kTextAreaBegin) || offset > endMark) return false;
    spans[slot] = {true, static_cast<size_t>(offset), static_cast<size_t>(endMark)};
    endMark = offset;
  }
  return true;
}

bool onlyTagFieldsSet(const DataBlock& block) {
  DataBlock rest = block;
  rest.blockSize = 0;
  rest.embeddedArchiveParam = 0;
  rest.versionTag.clear();
  return isInitialRecord(rest);
}

void checkListing(const DataBlock& block) {
  std::string out;
  appendDataBlockListing(block, &out);
  size_t values = std::to_string(block.blockSize).size() + block.versionTag.size() +
                  block.majorVersion.size() + block.minorVersion.size() +
                  block.updaterVersion.size() + block.uuid.size() + block.startMessage.size() +
                  block.completeMessage.size();
  std::string_view labels[] = {"QPA_DataBlock:",
                               "Data block size = ",
                               " bytes",
                               "version str=",
                               "ZTV Major Version:",
                               "ZTV Minor Version:",
                               "ZTV Updater Version:",
                               "UUID:",
                               "Start message:",
                               "Complete message:"};
  for (std::string_view label : labels) values += label.size();
  const std::string& listing = out;
  fuzzCheck(listing.size() == values + 9, "the listing does not hold every stored byte");
  fuzzCheck(listing.rfind("QPA_DataBlock:\n", 0) == 0, "the listing does not start its label");
}

void checkAccepted(const unsigned char* bytes, const DataBlock& block,
                   const Span (&spans)[layout::kTextSlotCount]) {
  fuzzCheck(block.versionTag == layout::kVersionTag, "an accepted record has another tag");
  fuzzCheck(block.majorVersion.size() == 4 && block.minorVersion.size() == 4 &&
                block.updaterVersion.size() == 4 && block.uuid.size() == 128,
            "an accepted record's version or uuid field has the wrong width");
  fuzzCheck(block.majorVersion == fieldBytes(bytes, layout::kMajorVersionField) &&
                block.minorVersion == fieldBytes(bytes, layout::kMinorVersionField) &&
                block.updaterVersion == fieldBytes(bytes, layout::kUpdaterVersionField) &&
                block.uuid == fieldBytes(bytes, layout::kUuidField),
            "an accepted record's fixed texts differ from the block");
  fuzzCheck(
      block.blockSize == fieldInt32(bytes, layout::kBlockSizeField) &&
          block.mainIntParam == fieldInt32(bytes, layout::kMainIntParamField) &&
          block.embeddedArchiveParam ==
              static_cast<int64_t>(loadLE64(bytes + layout::kEmbeddedArchiveParamField.offset)),
      "an accepted record's integers differ from the block");

  size_t total = 0;
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    const Span& span = spans[slot];
    fuzzCheck(!span.present || (span.begin >= layout::kTextAreaBegin && span.begin <= span.end &&
                                span.end <= layout::kTextAreaEnd),
              "a span lies outside the text area");
    std::string_view expected;
    if (span.present) {
      expected = std::string_view(reinterpret_cast<const char*>(bytes) + span.begin,
                                  span.end - span.begin);
    }
    total += expected.size();
    if (const std::string* text = slotText(block, static_cast<layout::TextSlot>(slot))) {
      fuzzCheck(*text == expected, "a text differs from its span");
      continue;
    }
    std::string joined;
    for (size_t i = 0; i < block.listItems.size(); ++i) {
      fuzzCheck(block.listItems[i].find(layout::kListSeparator) == std::string::npos,
                "a list item holds a comma");
      if (i > 0) joined += layout::kListSeparator;
      joined += block.listItems[i];
    }
    fuzzCheck(block.listItems.empty() == expected.empty(),
              "the list has items exactly when its span has bytes");
    fuzzCheck(joined == expected, "the list items do not make up the list span");
  }
  size_t stored = block.startMessage.size() + block.completeMessage.size() +
                  block.componentParam.size() + block.mainParam.size();
  for (const std::string& item : block.listItems) stored += item.size();
  fuzzCheck(stored <= total && total <= layout::kTextAreaEnd - layout::kTextAreaBegin,
            "the texts do not fit the text area");
  checkListing(block);
}

}  // namespace

void fuzzCheck(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "invariant broken: %s\n", what);
  abort();
}

bool isInitialRecord(const DataBlock& block) { return sameRecord(block, DataBlock()); }

bool sameRecord(const DataBlock& a, const DataBlock& b) {
  return a.valid == b.valid && a.blockSize == b.blockSize &&
         a.embeddedArchiveParam == b.embeddedArchiveParam && a.versionTag == b.versionTag &&
         a.majorVersion == b.majorVersion && a.minorVersion == b.minorVersion &&
         a.updaterVersion == b.updaterVersion && a.uuid == b.uuid &&
         a.startMessage == b.startMessage && a.completeMessage == b.completeMessage &&
         a.mainIntParam == b.mainIntParam && a.componentParam == b.componentParam &&
         a.mainParam == b.mainParam && a.listItems == b.listItems;
}

DataBlock clutteredRecord() {
  DataBlock block;
  block.valid = true;
  block.blockSize = -7;
  block.embeddedArchiveParam = -7;
  block.versionTag = "clutter";
  block.majorVersion = block.minorVersion = block.updaterVersion = block.uuid = "clutter";
  block.startMessage = block.completeMessage = "clutter";
  block.mainIntParam = -7;
  block.componentParam = block.mainParam = "clutter";
  block.listItems = {"clutter", "clutter"};
  return block;
}

void checkParsedBlock(const unsigned char* bytes, size_t size, bool accepted,
                      const DataBlock& block, const std::string& err) {
  fuzzCheck(accepted == block.valid, "the result differs from the record's valid flag");
  bool wholeBlock = size == static_cast<size_t>(layout::kBlockSize);
  Span spans[layout::kTextSlotCount];
  bool wellFormed = wholeBlock &&
                    memchr(fieldBytes(bytes, layout::kVersionTagField).data(), '\0',
                           layout::kVersionTagField.width) != nullptr &&
                    resolveSpans(bytes, spans);
  bool tagMatches =
      wholeBlock &&
      fieldBytes(bytes, layout::kVersionTagField).substr(0, layout::kVersionTag.size() + 1) ==
          std::string(layout::kVersionTag) + '\0';
  fuzzCheck(accepted == (wellFormed && tagMatches),
            "accepted differs from a well-formed block with the expected tag");
  if (accepted) {
    checkAccepted(bytes, block, spans);
    return;
  }
  fuzzCheck(!err.empty(), "a block that is not accepted gives no reason");
  if (isInitialRecord(block)) return;
  fuzzCheck(wellFormed, "a malformed block leaves more than the initial record");
  fuzzCheck(block.versionTag != layout::kVersionTag, "a refused record carries the tag");
  fuzzCheck(onlyTagFieldsSet(block), "a refused record has fields beyond the tag set");
  const char* tag = fieldBytes(bytes, layout::kVersionTagField).data();
  fuzzCheck(block.versionTag == std::string_view(tag, strnlen(tag, layout::kVersionTagField.width)),
            "a refused record's tag differs from the tag field");
  fuzzCheck(
      block.blockSize == fieldInt32(bytes, layout::kBlockSizeField) &&
          block.embeddedArchiveParam ==
              static_cast<int64_t>(loadLE64(bytes + layout::kEmbeddedArchiveParamField.offset)),
      "a refused record's integers differ from the block");
}
