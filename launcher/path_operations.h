// Path operations on "/"-separated byte strings, composed and split as text, never normalised.
#pragma once

#include <string>

// The text before the last '/': empty when that '/' is the first character, "." without any '/'.
std::string directoryOf(const std::string& path);

// The sibling archive's file name: the text after the last '/' with ".qpa" added.
std::string archiveFileName(const std::string& path);

// The sibling archive's path: directoryOf(path), "/", archiveFileName(path).
std::string siblingArchivePath(const std::string& executablePath);
