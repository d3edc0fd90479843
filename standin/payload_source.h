// Where the stand-in finds an application payload: the file that holds a code address, and the
// bytes of a file between an offset and its data block.
#pragma once

#include <cstdint>
#include <string>

// The path of the mapped file that holds |address|, as /proc/self/maps shows it (absolute, links
// resolved). This finds the executable also when it was started through the dynamic loader. For an
// address in the file pages of a program that the kernel loaded itself, the maps are not read:
// the path is the absolute name that the kernel ran the program by (links as written) unless it is
// a descriptor's /dev/fd/N, or else the target of /proc/self/exe.
bool findMappedFile(const void* address, std::string* path);

// Reads into |payload| the bytes of the regular file at |path| from |offset| up to its data
// block, the last 8192 bytes, or up to the first NUL byte before it. Refuses a file shorter than
// the block and an offset outside 0..(size - 8192), so it never reads out of range.
bool readPayload(const std::string& path, int64_t offset, std::string* payload, std::string* err);
