// Writing texts straight to a file descriptor, as the launcher writes every line it shows: no C
// library stream and no C++ stream or locale is built, and nothing is buffered, so each line is
// out before the caller's next step.
#pragma once

#include <initializer_list>
#include <string_view>

// Writes |parts| to |fd| one after another, in as few writev calls as they allow, retrying a
// partial write and an interrupted one. What cannot be written is lost, as with an unchecked
// stream.
void writeToDescriptor(int fd, std::initializer_list<std::string_view> parts);
