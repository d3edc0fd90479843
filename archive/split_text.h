// Splitting a text at every occurrence of one separator byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The pieces of |text| between separators, in order: adjacent separators give an empty piece
// between them and are never merged, so a text holds one piece more than it has separators (the
// empty text is one empty piece). Written by hand, so that start-up binds no symbols of a
// library splitter.
std::vector<std::string> splitText(std::string_view text, char separator);
