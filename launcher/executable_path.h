// Finding the absolute path of the launcher's own executable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Writes into |buffer| (|capacity| bytes, cleared first) the absolute path of the file that
// contains |address|, as the dynamic linker names it (resolved when the name is relative). The
// name must be the file that is mapped at the address: for the main program the linker reports
// argv[0], which can name some other file or none, and then the path that /proc/self/maps gives
// for the mapped file is taken. A name that does not fit is a failure, never cut.
bool findExecutablePath(const void* address, char* buffer, size_t capacity);

// The absolute path that the launcher makes of a file name: an absolute name as it is, links and
// all; a relative one resolved with realpath. False when realpath fails or gives no absolute path.
bool absoluteExecutableName(const std::string& name, std::string* path);

// The executable's absolute path: findExecutablePath for |address|, else the target of
// /proc/self/exe when it reads as an absolute path that fits its buffer.
bool locateOwnExecutable(const void* address, std::string* path);

// What one line of /proc/self/maps says about an address.
enum class MapsLine {
  kOther,      // the line's mapping does not hold the address, or the line does not parse
  kFile,       // the mapping holds it and a file is behind it
  kAnonymous,  // the mapping holds it and no file is behind it
};

// The file behind a mapping, as its line in /proc/self/maps gives it.
struct MappedFile {
  unsigned devMajor = 0;
  unsigned devMinor = 0;
  unsigned long inode = 0;
  // The file's absolute path, links resolved; empty when the line gives none that can be trusted
  // (the kernel writes a line feed in a name as "\012" and marks a deleted file " (deleted)").
  std::string path;
};

// Parses one line of /proc/self/maps, "start-end perms offset major:minor inode path". For kFile,
// fills |file|.
MapsLine parseMapsLine(std::string_view line, uintptr_t address, MappedFile* file);
