// The two escaped text forms of the stand-in: the text arguments of a payload program, through
// which a test writes any byte, and the quoted texts of the call trace, which show any byte.
#pragma once

#include <string>
#include <string_view>

// Decodes \n, \t, \\ and \xHH (two hex digits of either case) in |in| into |out|. Fails on any
// other escape, a short \x and a lone trailing backslash.
bool decodeEscapes(std::string_view in, std::string* out);

// |text| in double quotes with \\, \", \n and \t, and \xHH (lower-case hex) for every other byte
// outside 0x20..0x7e.
std::string quoteText(std::string_view text);
