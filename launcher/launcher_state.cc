#include "launcher/launcher_state.h"

#include <cstdlib>

namespace {
LauncherState gState;
}

LauncherState& launcherState() { return gState; }

void updateVerboseFromEnvironment() {
  if (getenv("QPAX_VERBOSE")) gState.verbose = true;
}
