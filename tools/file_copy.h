// Copying a range of one file into another through the kernel, with the input's holes kept, in a
// bounded amount of memory whatever the file's size.
#pragma once

#include <cstdint>
#include <string>

#include "archive/file_tail.h"
#include "tools/progress_line.h"

// Copies |length| bytes of |source| from |offset| to the new file open at |out|, from |outOffset|.
// Only the ranges that hold data are copied, so a hole of |source| stays a hole of |out| (which
// must hold nothing there yet). The kernel copies (copy_file_range) where it can; where it cannot
// (another file system, no support) or stops short, the rest goes through one bounded buffer.
// Fails, saying why in |err| (naming |out| as |outPath|), when |source| cannot be read, |out|
// cannot be written, or |source| no longer has the size it was opened with, during the copy or
// after it. |progress| is told of every step.
bool copyFileRange(const RegularFile& source, uint64_t offset, uint64_t length, int out,
                   uint64_t outOffset, const std::string& outPath, ProgressLine* progress,
                   std::string* err);

// With false, every copy goes through the buffer, as where the kernel cannot copy: for tests, which
// must reach that path on any file system.
void setKernelCopyEnabled(bool enabled);
