// Data blocks for the end-to-end tables: built with the archive writer, then bent where a case
// needs a field the writer would never write.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"

// The 8192 bytes of the block built from |fields|; throws when the writer refuses them.
std::string block(const DataBlockFields& fields = {});
// |bytes| with the 32-bit |field| set to |value|.
std::string withInt32(std::string bytes, const layout::Field& field, int32_t value);
// The default block with these offset slots set.
std::string withSlots(std::initializer_list<std::pair<layout::TextSlot, int32_t>> slots);
// Default fields but for the three version texts.
DataBlockFields versions(std::string major, std::string minor, std::string updater = "1");
// Default fields but for the version tag.
DataBlockFields tag(std::string text);

// The launcher's verbose listing of a block built from the default fields with these two texts.
std::string defaultBlockListing(const std::string& start = "", const std::string& complete = "");
