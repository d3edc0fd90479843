// Joins path parts as text, touching only the seams between them.
#pragma once

#include <initializer_list>
#include <string>

// Trims every part of white space (as the process's global locale classifies it) and joins them
// in order. At each seam one "/" is added when neither side has one, and one is dropped when both
// have one; "//" inside a part stays. An empty result so far takes the next part without its
// leading "/".
std::string joinPath(std::initializer_list<const char*> parts);
