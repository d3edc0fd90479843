// Writes the seed corpus of the data block fuzzers into a directory: valid blocks, every layout
// of the five offset slots, and the malformed and edge-case blocks and files that the parser and
// the reader must take in their stride. Each seed is one file, named after what it holds.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/data_block_layout.h"
#include "archive/data_block_writer.h"
#include "archive/little_endian.h"

namespace {

using Seeds = std::vector<std::pair<std::string, std::string>>;

const char kUsage[] =
    "usage: make_seed_corpus DIR\n"
    "Writes the seed corpus of the data block fuzzers into DIR (created if missing), one file\n"
    "per seed; existing seeds of the same name are replaced.\n";

std::string le32(int32_t value) {
  std::string bytes(4, '\0');
  storeLE32(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<uint32_t>(value));
  return bytes;
}

// Bytes that look like nothing in particular, the same on every run.
std::string garbage(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 16);
  }
  return bytes;
}

DataBlockFields fullFields() {
  DataBlockFields fields;
  fields.uuid = "5f0c6a9e-3d1b-4c2e-9a7f-0b8e1d2c3a4f";
  fields.mainIntParam = 3;
  fields.embeddedArchiveParam = 123456789012;
  fields.startMessage = std::string("Starting the application\0", 25);
  fields.completeMessage = std::string("Done.\0", 6);
  fields.componentParam = std::string("component\0", 10);
  fields.list = std::string("alpha,beta,gamma\0", 17);
  fields.mainParam = std::string("main\0", 5);
  return fields;
}

std::optional<std::string>* slotField(DataBlockFields* fields, int slot) {
  std::optional<std::string>* slots[layout::kTextSlotCount] = {
      &fields->startMessage, &fields->completeMessage, &fields->componentParam, &fields->list,
      &fields->mainParam};
  return slots[slot];
}

int32_t slotOffset(const std::string& block, int slot) {
  return static_cast<int32_t>(loadLE32(reinterpret_cast<const unsigned char*>(block.data()) +
                                       layout::kTextOffsetFields[slot].offset));
}

class SeedSet {
 public:
  bool ok() const { return ok_; }
  const Seeds& seeds() const { return seeds_; }

  void add(std::string name, std::string bytes) {
    seeds_.emplace_back(std::move(name), std::move(bytes));
  }

  // Adds the block of |fields|, first changed by |edit| when given.
  void addBlock(std::string name, const DataBlockFields& fields,
                const std::function<void(std::string*)>& edit = {}) {
    std::string block = build(name, fields);
    if (edit) edit(&block);
    add(std::move(name), std::move(block));
  }

  std::string build(const std::string& name, const DataBlockFields& fields) {
    std::string block, err;
    if (!buildDataBlock(fields, &block, &err)) {
      fprintf(stderr, "make_seed_corpus: cannot build seed %s: %s\n", name.c_str(), err.c_str());
      ok_ = false;
    }
    return block;
  }

 private:
  Seeds seeds_;
  bool ok_ = true;
};

void addValidBlocks(SeedSet* set) {
  set->addBlock("valid-minimal", DataBlockFields());
  set->addBlock("valid-full", fullFields());
  set->add("valid-appended-to-executable",
           "\x7f"
           "ELF" +
               garbage(4000, 1) + set->build("valid-full", fullFields()));

  DataBlockFields wide = fullFields();
  wide.majorVersion = "7777";
  wide.minorVersion = "1414";
  wide.updaterVersion = "1111";
  wide.uuid = std::string(layout::kUuidField.width, 'u');
  set->addBlock("versions-and-uuid-without-nul", wide);

  DataBlockFields other = fullFields();
  other.majorVersion = "8";
  other.minorVersion = "15";
  other.updaterVersion = "";
  set->addBlock("versions-other", other);

  for (int32_t size : {0, -1, 4096, 8193}) {
    DataBlockFields fields = fullFields();
    fields.blockSize = size;
    set->addBlock("block-size-" + std::to_string(size), fields);
  }
}

void addLayouts(SeedSet* set) {
  const std::string texts[layout::kTextSlotCount] = {
      std::string("start\0", 6), std::string("complete\0", 9), std::string("component\0", 10),
      std::string("a,b\0", 4), std::string("main\0", 5)};
  for (int mask = 0; mask < (1 << layout::kTextSlotCount); ++mask) {
    DataBlockFields fields;
    std::string name = "layout-";
    for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
      bool present = mask & (1 << slot);
      if (present) *slotField(&fields, slot) = texts[slot];
      name += present ? '1' : '0';
    }
    set->addBlock(name, fields);
  }
}

void addTexts(SeedSet* set) {
  DataBlockFields allEmpty;
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) *slotField(&allEmpty, slot) = "";
  set->addBlock("texts-all-present-empty", allEmpty);

  DataBlockFields startAtEnd;
  startAtEnd.startMessage = "";
  startAtEnd.completeMessage = "complete";
  set->addBlock("text-start-offset-at-end-mark", startAtEnd);

  DataBlockFields emptyMiddle = fullFields();
  emptyMiddle.completeMessage = "";
  emptyMiddle.list = "";
  set->addBlock("texts-empty-in-the-middle", emptyMiddle);

  DataBlockFields nuls = fullFields();
  nuls.startMessage = std::string("\0after the NUL\0\0\0", 17);
  nuls.completeMessage = std::string(40, '\0');
  set->addBlock("texts-with-nul-bytes", nuls);

  const size_t area = layout::kTextAreaEnd - layout::kTextAreaBegin;
  DataBlockFields fullArea;
  fullArea.mainParam = std::string(area, 'm');
  set->addBlock("text-fills-text-area", fullArea);
  DataBlockFields fullStart;
  fullStart.startMessage = std::string(area, 's');
  set->addBlock("text-start-fills-text-area", fullStart);

  const std::pair<const char*, std::string> lists[] = {
      {"list-a-two-commas-b-nul", std::string("a,,b\0", 5)},
      {"list-one-comma", ","},
      {"list-empty-span", ""},
      {"list-commas-and-nuls", std::string(",\0,\0\0,,x\0", 9)},
      {"list-trailing-comma", "a,b,"},
  };
  for (const auto& [name, list] : lists) {
    DataBlockFields fields = fullFields();
    fields.list = list;
    set->addBlock(name, fields);
  }
  std::string many;
  for (int i = 0; i < 500; ++i) many += (i ? "," : "") + std::to_string(i);
  DataBlockFields manyItems;
  manyItems.list = many;
  set->addBlock("list-many-items", manyItems);
}

void addTags(SeedSet* set) {
  const std::string tag(layout::kVersionTag);
  const std::pair<const char*, std::string> tags[] = {
      {"tag-other", tag.substr(0, tag.size() - 1) + "1"},
      {"tag-one-more-char", tag + "0"},
      {"tag-22-chars", tag.substr(0, 22)},
      {"tag-empty", ""},
      {"tag-field-without-nul",
       tag + std::string(layout::kVersionTagField.width - tag.size(), 'X')},
  };
  for (const auto& [name, value] : tags) {
    DataBlockFields fields = fullFields();
    fields.versionTag = value;
    set->addBlock(name, fields);
  }
}

void addOffsets(SeedSet* set) {
  const DataBlockFields fields = fullFields();
  const int32_t values[] = {-1, INT32_MIN, 1, 4, 1023, 8188, 8189, 8192, INT32_MAX};
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    const std::string slotName(layout::kTextSlotNames[slot]);
    for (int32_t value : values) {
      set->addBlock("offset-" + slotName + "-" + std::to_string(value), fields,
                    [&](std::string* block) {
                      setBlockInt32(block, layout::kTextOffsetFields[slot], value);
                    });
    }
    if (slot == 0) continue;
    set->addBlock("offset-" + slotName + "-equal-to-previous", fields, [&](std::string* block) {
      setBlockInt32(block, layout::kTextOffsetFields[slot], slotOffset(*block, slot - 1));
    });
    set->addBlock("offset-" + slotName + "-above-previous", fields, [&](std::string* block) {
      setBlockInt32(block, layout::kTextOffsetFields[slot], slotOffset(*block, slot - 1) + 1);
    });
  }
  set->addBlock("offsets-in-increasing-order", fields, [&](std::string* block) {
    int32_t offsets[layout::kTextSlotCount];
    for (int slot = 0; slot < layout::kTextSlotCount; ++slot)
      offsets[slot] = slotOffset(*block, slot);
    for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
      setBlockInt32(block, layout::kTextOffsetFields[slot],
                    offsets[layout::kTextSlotCount - 1 - slot]);
    }
  });
}

void addFiles(SeedSet* set) {
  const std::string block = set->build("valid-full", fullFields());
  set->add("file-0-bytes", "");
  set->add("file-1-byte", std::string(1, '\0'));
  set->add("file-2-bytes", "\x20\x00");
  set->add("file-3-bytes", std::string("\x00\x20\x00", 3));
  set->add("file-4-bytes-trailer-8192", le32(layout::kBlockSize));
  set->add("file-block-less-first-byte", block.substr(1));
  set->add("file-block-less-last-byte", block.substr(0, block.size() - 1));
  set->add("file-block-plus-one-byte", block + "\x01");
  set->add("file-garbage-4096-trailer-8192", garbage(4092, 2) + le32(layout::kBlockSize));
  set->add("file-garbage-over-trailer-8192", garbage(12000, 3) + le32(layout::kBlockSize));
  for (int32_t trailer : {0, -1, 8191, 8193, INT32_MAX, INT32_MIN}) {
    std::string bytes = block;
    setBlockInt32(&bytes, layout::kTrailerField, trailer);
    set->add("trailer-" + std::to_string(trailer), bytes);
  }
}

// Writes each seed beside its final name, then renames it, so no partial seed is left behind.
bool writeSeeds(const std::filesystem::path& dir, const Seeds& seeds) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    fprintf(stderr, "make_seed_corpus: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return false;
  }
  for (const auto& [name, bytes] : seeds) {
    std::filesystem::path target = dir / name;
    std::filesystem::path temp = dir / ("." + name + ".tmp");
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      out.close();
      if (!out) {
        fprintf(stderr, "make_seed_corpus: cannot write %s\n", temp.c_str());
        std::filesystem::remove(temp, ec);
        return false;
      }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
      fprintf(stderr, "make_seed_corpus: cannot rename %s: %s\n", temp.c_str(),
              ec.message().c_str());
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
    fputs("make_seed_corpus: expected one argument, the output directory (see --help)\n", stderr);
    return 2;
  }
  SeedSet set;
  addValidBlocks(&set);
  addLayouts(&set);
  addTexts(&set);
  addTags(&set);
  addOffsets(&set);
  addFiles(&set);
  if (!set.ok() || !writeSeeds(argv[1], set.seeds())) return 1;
  printf("wrote %zu seeds to %s\n", set.seeds().size(), argv[1]);
  return 0;
}
