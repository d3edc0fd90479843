#include "base/launcher_state.h"

#include <cstdlib>

namespace {
// Made before main and never destroyed: nothing of it needs undoing at exit, and a destructor
// would cost every start-up the registration of an exit handler.
LauncherState& gState = *new LauncherState;
}  // namespace

LauncherState& launcherState() { return gState; }

void updateVerboseFromEnvironment() {
  if (getenv("QPAX_VERBOSE")) gState.verbose = true;
}
