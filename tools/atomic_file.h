// Writing an output file that is never seen half-written: the bytes go to a temporary file in the
// same directory, which is synced, given its mode and renamed over the output.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/file_tail.h"

// A part of an output: bytes held in memory, or |length| bytes of an open file from |offset|,
// which the kernel copies without their passing through memory, holes kept.
struct OutputPiece {
  OutputPiece(std::string_view bytes) : bytes(bytes) {}
  OutputPiece(const char* bytes) : bytes(bytes) {}
  OutputPiece(const std::string& bytes) : bytes(bytes) {}
  OutputPiece(const RegularFile& source, uint64_t offset, uint64_t length)
      : source(&source), offset(offset), length(length) {}

  uint64_t size() const { return source ? length : bytes.size(); }

  std::string_view bytes;
  const RegularFile* source = nullptr;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Writes |pieces|, one after the other, as the file at |path| with permission bits |mode|. A
// symbolic link at |path| is written through: its final target is replaced (or, when dangling, made
// in the directory the link names) and the link stays. An existing output that is not a regular
// file is refused. On any failure the temporary file is removed, |path| is left as it was and |err|
// says why; SIGINT, SIGTERM or SIGHUP during the write remove it too, then end the process as they
// would have. A file piece that cannot be read, or whose file changes size meanwhile, fails the
// write. On a terminal, standard error shows the progress of a write that takes more than a second.
bool writeFileAtomically(const std::string& path, const std::vector<OutputPiece>& pieces,
                         mode_t mode, std::string* err);

// The mode that a file created by this process gets: 0666 less the umask.
mode_t newFileMode();

// The permission bits of the file at |path|, for an output that keeps them.
bool existingFileMode(const std::string& path, mode_t* mode, std::string* err);
