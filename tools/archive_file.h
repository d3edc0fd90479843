// A file that ends with an accepted data block, and where its parts lie: an archive as qpa pack
// writes it (payload, block), or an executable with the archive appended as qpa embed writes it
// (executable, payload, block).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/data_block.h"

struct ArchiveParts {
  // The file begins with an ELF header: the launcher, with the archive appended.
  bool executable = false;
  // Where the payload begins: 0 in an archive; embeddedArchiveParam in an executable, which is
  // where the runtime reads an appended archive's payload from.
  uint64_t payloadOffset = 0;
  uint64_t payloadSize = 0;
  uint64_t blockOffset = 0;
};

// Locates the parts of |bytes|, a whole file, whose data block the reader accepted as |block|.
// Fails, saying why, when the file is shorter than a block or an executable's
// embeddedArchiveParam does not lie after its start and no further than the block.
bool locateArchiveParts(std::string_view bytes, const DataBlock& block, ArchiveParts* parts,
                        std::string* err);

struct ArchiveFile {
  std::string bytes;
  DataBlock block;
  ArchiveParts parts;
};

// Reads the file at |path| whole, its data block with the launcher's reader, and locates its
// parts. Fails, saying why, on a file that cannot be read or holds no accepted data block.
bool readArchiveFile(const std::string& path, ArchiveFile* file, std::string* err);

// The bytes of the executable in front of the payload, when |file| (read from |path|) is an
// executable with an archive appended; fails, saying why, when it does not start with an ELF
// header.
bool executableBeforeArchive(const std::string& path, const ArchiveFile& file,
                             std::string_view* executable, std::string* err);
