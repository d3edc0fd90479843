// The launcher's start-up: from the process entry to the hand-off to the runtime.
#pragma once

// Runs the start-up sequence once. Returns -1 after the first start-up failure, whose reason
// has been reported, otherwise what the runtime's run-main entry returns.
int runStartupSequence(int argc, char** argv);
