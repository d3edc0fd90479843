#include "runtime_search/join_path.h"

#include <cstring>

#include "base/white_space.h"

std::string joinPath(std::initializer_list<const char*> parts) {
  // One block for the whole path, so that appending the parts never moves it.
  size_t capacity = 0;
  for (const char* part : parts) capacity += strlen(part) + 1;
  std::string result;
  result.reserve(capacity);
  bool first = true;
  for (const char* rawPart : parts) {
    std::string_view part = trimWhiteSpace(rawPart);
    if (first) {
      result = part;
      first = false;
      continue;
    }
    bool resultOpen = result.empty() || result.back() == '/';
    bool partRooted = !part.empty() && part.front() == '/';
    if (resultOpen && partRooted) {
      result.append(part.substr(1));
    } else if (!resultOpen && !partRooted) {
      result += '/';
      result += part;
    } else {
      result += part;
    }
  }
  return result;
}
