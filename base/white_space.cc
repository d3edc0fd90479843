#include "base/white_space.h"

#include <boost/algorithm/string/trim.hpp>

namespace {
bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

std::string trimWhiteSpace(const std::string& text) {
  return boost::algorithm::trim_copy_if(text, isWhiteSpace);
}
