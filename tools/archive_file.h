// A file that ends with an accepted data block, and where its parts lie: an archive as qpa pack
// writes it (payload, block), or an executable with the archive appended as qpa embed writes it
// (executable, payload, block).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/data_block.h"
#include "archive/file_tail.h"

// The bytes of a file's start that tell whether it is an executable.
inline constexpr size_t kElfMagicBytes = 4;

// True when |bytes| begin with the ELF header's magic number, as every launcher does.
bool startsWithElfHeader(std::string_view bytes);

struct ArchiveParts {
  // The launcher with the archive appended: the file begins with an ELF header and its
  // embeddedArchiveParam is not 0. A plain archive's payload may begin with an ELF header too,
  // and its embeddedArchiveParam, which qpa pack leaves at 0, is where a runtime that read it as
  // appended would start: at the file's start.
  bool executable = false;
  // Where the payload begins: 0 in an archive; embeddedArchiveParam in an executable, which is
  // where the runtime reads an appended archive's payload from.
  uint64_t payloadOffset = 0;
  uint64_t payloadSize = 0;
  uint64_t blockOffset = 0;
};

// The data block of the file at |path|, of |size| bytes, whose last bytes are |tail| (all of them
// when the file is shorter than a block), taken with the launcher's reader: true when the reader
// accepts it, else |err| says why, as the reader would for that file.
bool dataBlockAtEnd(const std::string& path, uint64_t size, std::string_view tail, DataBlock* block,
                    std::string* err);

// Locates the parts of a file of |size| bytes that begins with |head| (at least its first four
// bytes, when it has them), whose data block the reader accepted as |block|. Fails, saying why,
// when the file is shorter than a block or an executable's embeddedArchiveParam does not lie
// between its start and its block.
bool locateArchiveParts(uint64_t size, std::string_view head, const DataBlock& block,
                        ArchiveParts* parts, std::string* err);

// An archive file held open, so that what is copied from it is the file whose ends were read.
// Only its first bytes, for the ELF header, and its data block are held in memory.
struct ArchiveFile {
  RegularFile file;
  FileEnds ends;
  DataBlock block;
  ArchiveParts parts;
};

// Opens the file at |path|, reads its ends, takes its data block from them with the launcher's
// reader, and locates its parts. Fails, saying why, on a file that cannot be read or holds no
// accepted data block.
bool openArchiveFile(const std::string& path, ArchiveFile* archive, std::string* err);

// The size of the executable in front of the payload, when |archive| (opened from |path|) is an
// executable with an archive appended; fails, saying why, when it is not.
bool executableBeforeArchive(const std::string& path, const ArchiveFile& archive,
                             uint64_t* executableSize, std::string* err);
