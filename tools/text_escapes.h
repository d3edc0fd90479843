// Option values that can hold any byte. A backslash starts an escape: \n a line feed, \t a tab,
// \\ a backslash, \xHH the byte whose value is the two hex digits HH. Every other byte stands for
// itself.
#pragma once

#include <string>
#include <string_view>

// Decodes |text| into |bytes|; fails, saying why, on an unknown or unfinished escape.
bool unescapeText(std::string_view text, std::string* bytes, std::string* err);
