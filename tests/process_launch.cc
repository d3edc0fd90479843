#include "tests/process_launch.h"

std::vector<char*> execArray(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (const std::string& text : texts) out.push_back(const_cast<char*>(text.c_str()));
  out.push_back(nullptr);
  return out;
}
