#include "base/standard_streams.h"

#include <cstdio>
#include <ext/stdio_sync_filebuf.h>

namespace {

// Never destroyed, like std::cout: a line written while the process exits still goes out.
std::ostream& makeStream(FILE* file) {
  return *new std::ostream(new __gnu_cxx::stdio_sync_filebuf<char>(file));
}

}  // namespace

std::ostream& standardOutput() {
  static std::ostream& stream = makeStream(stdout);
  return stream;
}

std::ostream& standardError() {
  static std::ostream& stream = []() -> std::ostream& {
    std::ostream& made = makeStream(stderr);
    made.setf(std::ios_base::unitbuf);
    made.tie(&standardOutput());
    return made;
  }();
  return stream;
}
