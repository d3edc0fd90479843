// The callback in which the runtime runs the application.
#pragma once

#include "runtime/zek_proxy.h"

// The runtime's component instance; only the runtime writes it, through its address.
extern zekComponentInstance componentInstance;

// Creates the component instance over the appended archive (by its stream) or, otherwise,
// standalone from the application directory. Its address also serves start-up to find the
// file that holds the launcher's code.
bool createComponentInstance(zekTextHandler errorHandler, zekTextHandler outputHandler);

// Runs the application: instance, command line, complete message, main, termination. Returns
// the application's exit status, or -1 when the instance or the command line fails.
int runApplicationMain(int argc, char** argv);
