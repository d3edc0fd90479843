#include "archive/split_text.h"

std::vector<std::string> splitText(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    // Not substr: its range check needs GLIBCXX_3.4.20, above the launcher's C++ library floor.
    size_t stop = end == std::string_view::npos ? text.size() : end;
    pieces.emplace_back(text.data() + start, stop - start);
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}
