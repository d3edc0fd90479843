// Whether a path names a file, for the launcher's archive check and the runtime search alike.
#pragma once

#include <string>

// True when the status of |path| can be read; links are followed and any kind of file counts.
bool fileExists(const std::string& path);
