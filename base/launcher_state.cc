#include "base/launcher_state.h"

#include <cstdlib>

namespace {
// Made before main and never destroyed: nothing of it needs undoing, and start-up registers no
// exit handler for it.
LauncherState& gState = *new LauncherState;
}  // namespace

LauncherState& launcherState() { return gState; }

void updateVerboseFromEnvironment() {
  if (getenv("QPAX_VERBOSE")) gState.verbose = true;
}
