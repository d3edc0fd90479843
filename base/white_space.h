// Trimming white space as the classic locale classifies it: space, tab, line feed, vertical tab,
// form feed and carriage return. The launcher never changes the process's global locale, so this
// removes exactly what a trim with that locale removes, without building the locale's facets.
#pragma once

#include <string_view>

// |text| without its leading and trailing white space: a view into |text|, so that a trim makes
// no copy.
std::string_view trimWhiteSpace(std::string_view text);
