// Texts that can hold any byte, written in plain ASCII on one line. A backslash starts an escape:
// \n a line feed, \t a tab, \\ a backslash, \xHH the byte whose value is the two hex digits HH
// (either case). Every other byte stands for itself. The qpa tool's option values and listings
// and the stand-in's payload programs and call trace all use this one form.
#pragma once

#include <string>
#include <string_view>

// Decodes |text| into |bytes|; fails, saying why, on an unknown or unfinished escape, and leaves
// |bytes| as it was.
bool unescapeText(std::string_view text, std::string* bytes, std::string* err);

// The inverse: printable ASCII stays, a backslash, a line feed and a tab get their escapes, and
// every other byte (NUL, control bytes, bytes above 0x7e) becomes \xHH in lower-case hex.
std::string escapeText(std::string_view bytes);

// |text| escaped as escapeText does, a double quote as \", in double quotes.
std::string quoteText(std::string_view text);
