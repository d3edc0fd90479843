#include "runtime/output_handlers.h"

#include <cstring>

#include "runtime/zek_proxy.h"

namespace {
// A null text from the runtime is written as an empty one.
const char* orEmpty(const char* text) { return text ? text : ""; }
}  // namespace

int outputHandler(const char* text) {
  text = orEmpty(text);
  return zekWrite_proxy(1, text, strlen(text));
}

int errorHandler(const char* text) {
  text = orEmpty(text);
  size_t length = strlen(text);
  int written = zekWrite_proxy(2, text, length);
  if (length == 0 || text[length - 1] == '\n') return written;
  int lineFeed = zekWrite_proxy(2, "\n", 1);
  // A failed write stays a failure: added to the other result it could read as bytes written.
  if (written < 0) return written;
  return lineFeed < 0 ? lineFeed : written + lineFeed;
}
