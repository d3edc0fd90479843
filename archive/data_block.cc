#include "archive/data_block.h"

#include <algorithm>

#include "archive/data_block_layout.h"
#include "archive/little_endian.h"
#include "archive/split_text.h"

namespace {

std::string fieldText(const unsigned char* bytes, const layout::Field& field) {
  return std::string(reinterpret_cast<const char*>(bytes) + field.offset, field.width);
}

int32_t fieldInt32(const unsigned char* bytes, const layout::Field& field) {
  return static_cast<int32_t>(loadLE32(bytes + field.offset));
}

}  // namespace

bool resolveTextSpans(const unsigned char* block, TextSpans* spans, std::string* err) {
  TextSpans resolved;
  size_t endMark = layout::kTextAreaEnd;
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    int32_t offset = fieldInt32(block, layout::kTextOffsetFields[slot]);
    if (offset == 0) continue;
    std::string name(layout::kTextSlotNames[slot]);
    if (offset < 0 || static_cast<size_t>(offset) < layout::kTextAreaBegin) {
      *err = "the " + name + " offset " + std::to_string(offset) + " lies outside the text area";
      return false;
    }
    if (static_cast<size_t>(offset) > endMark) {
      *err = "the " + name + " offset " + std::to_string(offset) +
             " lies above the end of its span (" + std::to_string(endMark) + ")";
      return false;
    }
    resolved[slot] = {true, static_cast<size_t>(offset), endMark};
    endMark = static_cast<size_t>(offset);
  }
  *spans = resolved;
  return true;
}

bool parseDataBlock(DataBlock* block, const unsigned char* bytes, size_t size, std::string* err) {
  *block = DataBlock();
  if (size != static_cast<size_t>(layout::kBlockSize)) {
    *err = "the data block is " + std::to_string(size) + " bytes, not " +
           std::to_string(layout::kBlockSize);
    return false;
  }

  const char* tagField = reinterpret_cast<const char*>(bytes) + layout::kVersionTagField.offset;
  const char* tagFieldEnd = tagField + layout::kVersionTagField.width;
  const char* tagEnd = std::find(tagField, tagFieldEnd, '\0');
  if (tagEnd == tagFieldEnd) {
    *err = "the version tag field holds no NUL byte";
    return false;
  }

  // Resolve every span before anything is stored, so a malformed block leaves the record initial.
  TextSpans spans;
  if (!resolveTextSpans(bytes, &spans, err)) return false;
  std::string texts[layout::kTextSlotCount];
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    const TextSpan& span = spans[slot];
    if (span.present) {
      texts[slot].assign(reinterpret_cast<const char*>(bytes) + span.offset,
                         span.end - span.offset);
    }
  }

  block->blockSize = fieldInt32(bytes, layout::kBlockSizeField);
  block->embeddedArchiveParam =
      static_cast<int64_t>(loadLE64(bytes + layout::kEmbeddedArchiveParamField.offset));
  block->versionTag.assign(tagField, tagEnd);
  if (block->versionTag != layout::kVersionTag) {
    *err = "the version tag is \"" + block->versionTag + "\", not \"" +
           std::string(layout::kVersionTag) + "\"";
    return false;
  }

  block->majorVersion = fieldText(bytes, layout::kMajorVersionField);
  block->minorVersion = fieldText(bytes, layout::kMinorVersionField);
  block->updaterVersion = fieldText(bytes, layout::kUpdaterVersionField);
  block->uuid = fieldText(bytes, layout::kUuidField);
  block->mainIntParam = fieldInt32(bytes, layout::kMainIntParamField);
  block->startMessage = std::move(texts[layout::kStartMessage]);
  block->completeMessage = std::move(texts[layout::kCompleteMessage]);
  block->componentParam = std::move(texts[layout::kComponentParam]);
  block->mainParam = std::move(texts[layout::kMainParam]);
  const std::string& list = texts[layout::kList];
  if (!list.empty()) {
    block->listItems = splitText(list, layout::kListSeparator);
  }
  block->valid = true;
  return true;
}

void appendDataBlockListing(const DataBlock& block, std::string* out) {
  out->append("QPA_DataBlock:\n");
  out->append("Data block size = ").append(std::to_string(block.blockSize)).append(" bytes\n");
  out->append("version str=").append(block.versionTag).append("\n");
  out->append("ZTV Major Version:").append(block.majorVersion).append("\n");
  out->append("ZTV Minor Version:").append(block.minorVersion).append("\n");
  out->append("ZTV Updater Version:").append(block.updaterVersion).append("\n");
  out->append("UUID:").append(block.uuid).append("\n");
  out->append("Start message:").append(block.startMessage).append("\n");
  out->append("Complete message:").append(block.completeMessage).append("\n");
}

std::string cString(const std::string& text) { return std::string(text.c_str()); }

const std::string* slotText(const DataBlock& block, layout::TextSlot slot) {
  switch (slot) {
    case layout::kStartMessage:
      return &block.startMessage;
    case layout::kCompleteMessage:
      return &block.completeMessage;
    case layout::kComponentParam:
      return &block.componentParam;
    case layout::kMainParam:
      return &block.mainParam;
    case layout::kList:
    case layout::kTextSlotCount:
      break;
  }
  return nullptr;
}
