#include "archive/data_block_writer.h"

#include <cstring>

#include "archive/little_endian.h"

namespace {

unsigned char* at(std::string* block, const layout::Field& field) {
  return reinterpret_cast<unsigned char*>(block->data()) + field.offset;
}

bool putText(std::string* block, const layout::Field& field, const std::string& value,
             const char* name, std::string* err) {
  if (value.size() > field.width) {
    *err = std::string(name) + " is " + std::to_string(value.size()) + " bytes, its field holds " +
           std::to_string(field.width);
    return false;
  }
  memcpy(at(block, field), value.data(), value.size());
  return true;
}

}  // namespace

void setBlockInt32(std::string* block, const layout::Field& field, int32_t value) {
  storeLE32(at(block, field), static_cast<uint32_t>(value));
}

void setBlockInt64(std::string* block, const layout::Field& field, int64_t value) {
  storeLE64(at(block, field), static_cast<uint64_t>(value));
}

bool buildDataBlock(const DataBlockFields& fields, std::string* block, std::string* err) {
  std::string out(layout::kBlockSize, '\0');
  if (!putText(&out, layout::kVersionTagField, fields.versionTag, "the version tag", err) ||
      !putText(&out, layout::kMajorVersionField, fields.majorVersion, "the major version", err) ||
      !putText(&out, layout::kMinorVersionField, fields.minorVersion, "the minor version", err) ||
      !putText(&out, layout::kUpdaterVersionField, fields.updaterVersion, "the updater version",
               err) ||
      !putText(&out, layout::kUuidField, fields.uuid, "the uuid", err)) {
    return false;
  }
  setBlockInt32(&out, layout::kBlockSizeField, fields.blockSize);
  setBlockInt32(&out, layout::kMainIntParamField, fields.mainIntParam);
  setBlockInt64(&out, layout::kEmbeddedArchiveParamField, fields.embeddedArchiveParam);

  const std::optional<std::string>* texts[layout::kTextSlotCount] = {};
  texts[layout::kStartMessage] = &fields.startMessage;
  texts[layout::kCompleteMessage] = &fields.completeMessage;
  texts[layout::kComponentParam] = &fields.componentParam;
  texts[layout::kList] = &fields.list;
  texts[layout::kMainParam] = &fields.mainParam;
  size_t end = layout::kTextAreaEnd;
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    if (!texts[slot]->has_value()) continue;
    const std::string& text = **texts[slot];
    if (text.size() > end - layout::kTextAreaBegin) {
      *err = "the texts are too long: they must fit in " +
             std::to_string(layout::kTextAreaEnd - layout::kTextAreaBegin) + " bytes";
      return false;
    }
    end -= text.size();
    memcpy(out.data() + end, text.data(), text.size());
    setBlockInt32(&out, layout::kTextOffsetFields[slot], static_cast<int32_t>(end));
  }
  setBlockInt32(&out, layout::kTrailerField, layout::kBlockSize);
  *block = std::move(out);
  return true;
}
