// Splitting a text at every occurrence of one separator byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pieces of |text| between separators, in order: adjacent separators give an empty piece
// between them and are never merged, so a text holds one piece more than it has separators (the
// empty text is one empty piece). Written out rather than taken from a string algorithm library
// whose splitting goes through a type-erased function object: its exception and type records
// cost every start-up symbol lookups in the dynamic loader, whether or not anything is split.
std::vector<std::string> splitText(std::string_view text, char separator);
