// The record read from an archive's data block, and the parser that fills it from the block's
// bytes held in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/data_block_layout.h"

// Texts are byte strings with a length: they keep every byte of their field or span, NUL bytes
// included. Users read them up to the first NUL (see cString).
struct DataBlock {
  bool valid = false;
  int32_t blockSize = 0;
  int64_t embeddedArchiveParam = 0;
  std::string versionTag;
  std::string majorVersion;
  std::string minorVersion;
  std::string updaterVersion;
  std::string uuid;
  std::string startMessage;
  std::string completeMessage;
  int32_t mainIntParam = 0;
  std::string componentParam;
  std::string mainParam;
  std::vector<std::string> listItems;
};

// The text that |slot| holds in |block|; null for the list, which the record keeps as its items.
const std::string* slotText(const DataBlock& block, layout::TextSlot slot);

// Where one text of the block lies: from the offset in its slot up to, not including, |end|.
struct TextSpan {
  bool present = false;  // a zero slot means no text
  size_t offset = 0;
  size_t end = 0;
};
using TextSpans = std::array<TextSpan, layout::kTextSlotCount>;

// Resolves the spans of the five texts of a block of layout::kBlockSize bytes from its offset
// slots, indexed by layout::TextSlot: the first present text runs up to the end of the text
// area, each later one up to the previous present one. Fails, saying why, when a slot lies
// outside the text area or above the end of its span.
bool resolveTextSpans(const unsigned char* block, TextSpans* spans, std::string* err);

// Fills |block| from the |size| bytes of a data block. Returns true when the block is accepted.
// A block with another version tag is refused: blockSize, embeddedArchiveParam and versionTag
// are set and everything else stays initial. A block that is malformed (not 8192 bytes, a tag
// field without a NUL, an offset slot outside the text area or above the text before it) leaves
// the record wholly initial, so that nobody can mistake it for an archive. |err| says why a
// block was not accepted. Never reads outside |bytes|.
bool parseDataBlock(DataBlock* block, const unsigned char* bytes, size_t size, std::string* err);

// Appends to |out| the verbose listing of an accepted block: nine lines, every stored byte of each
// value as it is.
void appendDataBlockListing(const DataBlock& block, std::string* out);

// A text up to its first NUL byte.
std::string cString(const std::string& text);
