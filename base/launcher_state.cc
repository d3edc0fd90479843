#include "base/launcher_state.h"

#include <cstdlib>

namespace {
// Never destroyed: an exit handler for it would cost each start 1,500 instructions (2 %).
LauncherState& gState = *new LauncherState;
}  // namespace

LauncherState& launcherState() { return gState; }

void updateVerboseFromEnvironment() {
  if (getenv("QPAX_VERBOSE")) gState.verbose = true;
}
