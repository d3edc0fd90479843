// Writing an output file that is never seen half-written: the bytes go to a temporary file in the
// same directory, which is synced, given its mode and renamed over the output.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

// Writes |pieces|, one after the other, as the file at |path| with permission bits |mode|. A
// symbolic link at |path| is written through: its final target is replaced (or, when dangling, made
// in the directory the link names) and the link stays. An existing output that is not a regular
// file is refused. On any failure the temporary file is removed, |path| is left as it was and |err|
// says why; SIGINT, SIGTERM or SIGHUP during the write remove it too, then end the process as they
// would have.
bool writeFileAtomically(const std::string& path, const std::vector<std::string_view>& pieces,
                         mode_t mode, std::string* err);

// The mode that a file created by this process gets: 0666 less the umask.
mode_t newFileMode();

// The permission bits of the file at |path|, for an output that keeps them.
bool existingFileMode(const std::string& path, mode_t* mode, std::string* err);
