// The on-disk form of an archive's data block: the last 8192 bytes of the archive file. This is
// the one place where its offsets, widths and constants are written; the reader, the writer, the
// tools and the tests all take them from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace layout {

// Offset and width of one field, counted from the first byte of the block.
struct Field {
  size_t offset;
  size_t width;
};

inline constexpr int32_t kBlockSize = 8192;  // also the trailer value of an appended archive
inline constexpr std::string_view kVersionTag = "V1DRN4000HBS1000ZTV1000";

inline constexpr Field kBlockSizeField{0, 4};
inline constexpr Field kVersionTagField{4, 32};
inline constexpr Field kMajorVersionField{36, 4};
inline constexpr Field kMinorVersionField{40, 4};
inline constexpr Field kUuidField{44, 128};
inline constexpr Field kMainIntParamField{172, 4};
inline constexpr Field kEmbeddedArchiveParamField{176, 8};
inline constexpr Field kUpdaterVersionField{184, 4};

// The texts that the five offset slots point to, in the order in which their spans are resolved:
// the first present one runs up to kTextAreaEnd, each later one up to the previous present one.
enum TextSlot {
  kStartMessage,
  kCompleteMessage,
  kComponentParam,
  kList,
  kMainParam,
  kTextSlotCount
};
inline constexpr Field kTextOffsetFields[kTextSlotCount] = {
    {224, 4}, {228, 4}, {232, 4}, {236, 4}, {240, 4}};
inline constexpr std::string_view kTextSlotNames[kTextSlotCount] = {
    "startMessage", "completeMessage", "componentParam", "list", "mainParam"};

inline constexpr size_t kHeaderSize = 1024;  // the fixed header; texts lie above it
inline constexpr size_t kTextAreaBegin = kHeaderSize;
inline constexpr size_t kTextAreaEnd = 8188;  // where the trailer begins
inline constexpr Field kTrailerField{8188, 4};
inline constexpr char kListSeparator = ',';

}  // namespace layout
