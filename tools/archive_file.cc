#include "tools/archive_file.h"

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/file_tail.h"

namespace {

constexpr std::string_view kElfMagic =
    "\x7f"
    "ELF";

}  // namespace

bool locateArchiveParts(std::string_view bytes, const DataBlock& block, ArchiveParts* parts,
                        std::string* err) {
  if (bytes.size() < static_cast<size_t>(layout::kBlockSize)) {
    *err = "the file is " + std::to_string(bytes.size()) + " bytes, shorter than a data block";
    return false;
  }
  ArchiveParts located;
  located.blockOffset = bytes.size() - layout::kBlockSize;
  located.executable = bytes.substr(0, kElfMagic.size()) == kElfMagic;
  if (located.executable) {
    int64_t start = block.embeddedArchiveParam;
    if (start <= 0 || static_cast<uint64_t>(start) > located.blockOffset) {
      *err = "its embeddedArchiveParam " + std::to_string(start) +
             " does not point between the executable's start and its data block at " +
             std::to_string(located.blockOffset);
      return false;
    }
    located.payloadOffset = static_cast<uint64_t>(start);
  }
  located.payloadSize = located.blockOffset - located.payloadOffset;
  *parts = located;
  return true;
}

bool readArchiveFile(const std::string& path, ArchiveFile* file, std::string* err) {
  ArchiveFile read;
  if (!readWholeFile(path, &read.bytes, err)) return false;
  std::string why;
  if (!readDataBlock(path, &read.block, &why)) {
    *err = path + " holds no accepted data block: " + why;
    return false;
  }
  if (!locateArchiveParts(read.bytes, read.block, &read.parts, &why)) {
    *err = path + ": " + why;
    return false;
  }
  *file = std::move(read);
  return true;
}

bool executableBeforeArchive(const std::string& path, const ArchiveFile& file,
                             std::string_view* executable, std::string* err) {
  if (!file.parts.executable) {
    *err =
        path + " is no executable with an archive appended: it does not start with an ELF header";
    return false;
  }
  *executable = std::string_view(file.bytes).substr(0, file.parts.payloadOffset);
  return true;
}
