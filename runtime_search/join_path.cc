#include "runtime_search/join_path.h"

#include <boost/algorithm/string/trim.hpp>
#include <locale>

namespace {

std::string trimmed(const char* part) {
  return boost::algorithm::trim_copy(std::string(part), std::locale());
}

}  // namespace

std::string joinPath(std::initializer_list<const char*> parts) {
  std::string result;
  bool first = true;
  for (const char* rawPart : parts) {
    std::string part = trimmed(rawPart);
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
