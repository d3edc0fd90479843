#include "tools/archive_file.h"

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/file_tail.h"

namespace {

constexpr std::string_view kElfMagic =
    "\x7f"
    "ELF";
static_assert(kElfMagic.size() == kElfMagicBytes);

}  // namespace

bool startsWithElfHeader(std::string_view bytes) {
  return bytes.substr(0, kElfMagic.size()) == kElfMagic;
}

bool dataBlockAtEnd(const std::string& path, uint64_t size, std::string_view tail, DataBlock* block,
                    std::string* err) {
  if (tail.size() < static_cast<size_t>(layout::kBlockSize)) {
    *block = DataBlock();
    *err = tooShortReason(path, size, layout::kBlockSize);
    return false;
  }
  return dataBlockFromTail(
      reinterpret_cast<const unsigned char*>(tail.data()) + tail.size() - layout::kBlockSize, block,
      err);
}

bool locateArchiveParts(uint64_t size, std::string_view head, const DataBlock& block,
                        ArchiveParts* parts, std::string* err) {
  if (size < static_cast<uint64_t>(layout::kBlockSize)) {
    *err = "the file is " + std::to_string(size) + " bytes, shorter than a data block";
    return false;
  }
  ArchiveParts located;
  located.blockOffset = size - layout::kBlockSize;
  int64_t start = block.embeddedArchiveParam;
  located.executable = startsWithElfHeader(head) && start != 0;
  if (located.executable) {
    if (start < 0 || static_cast<uint64_t>(start) > located.blockOffset) {
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

bool openArchiveFile(const std::string& path, ArchiveFile* archive, std::string* err) {
  if (!archive->file.open(path, err) ||
      !readFileEnds(archive->file, kElfMagicBytes, layout::kBlockSize, &archive->ends, err)) {
    return false;
  }
  std::string why;
  const FileEnds& ends = archive->ends;
  if (!dataBlockAtEnd(path, ends.size, ends.tail, &archive->block, &why)) {
    *err = path + " holds no accepted data block: " + why;
    return false;
  }
  if (!locateArchiveParts(ends.size, ends.head, archive->block, &archive->parts, &why)) {
    *err = path + ": " + why;
    return false;
  }
  return true;
}

bool executableBeforeArchive(const std::string& path, const ArchiveFile& archive,
                             uint64_t* executableSize, std::string* err) {
  if (!archive.parts.executable) {
    *err = path + " is no executable with an archive appended: " +
           (startsWithElfHeader(archive.ends.head) ? "its embeddedArchiveParam is 0"
                                                   : "it does not start with an ELF header");
    return false;
  }
  *executableSize = archive.parts.payloadOffset;
  return true;
}
