// Option values that can hold any byte. A backslash starts an escape: \n a line feed, \t a tab,
// \\ a backslash, \xHH the byte whose value is the two hex digits HH. Every other byte stands for
// itself.
#pragma once

#include <string>
#include <string_view>

// Decodes |text| into |bytes|; fails, saying why, on an unknown or unfinished escape.
bool unescapeText(std::string_view text, std::string* bytes, std::string* err);

// The inverse: printable ASCII stays, a backslash, a line feed and a tab get their escapes, and
// every other byte (NUL, control bytes, bytes above 0x7e) becomes \xHH, so that the result is
// plain ASCII on one line.
std::string escapeText(std::string_view bytes);
