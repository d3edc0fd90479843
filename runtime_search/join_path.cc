#include "runtime_search/join_path.h"

#include "base/white_space.h"

std::string joinPath(std::initializer_list<const char*> parts) {
  std::string result;
  bool first = true;
  for (const char* rawPart : parts) {
    std::string part = trimWhiteSpace(rawPart);
    if (first) {
      result = part;
      first = false;
      continue;
    }
    bool resultOpen = result.empty() || result.back() == '/';
    bool partRooted = !part.empty() && part.front() == '/';
    if (resultOpen && partRooted) {
      result.append(part, 1);
    } else if (!resultOpen && !partRooted) {
      result += '/';
      result += part;
    } else {
      result += part;
    }
  }
  return result;
}
