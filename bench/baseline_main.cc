// The start-up benchmark's baseline: a program linked as the launcher is, against the same proxy
// library and with the same run path, that hands the runtime a callback returning 0 at once. What
// the launcher costs on top of this is the launcher's own work.
#include "runtime/zek_proxy.h"

namespace {

int returnAtOnce(int, char**) { return 0; }

}  // namespace

int main(int argc, char** argv) { return zekRunMain_proxy(returnAtOnce, argc, argv); }
