#include "launcher/diagnostics.h"

#include <iostream>

#include "launcher/launcher_state.h"

namespace {

void writeLine(std::ostream& out, const char* label, const char* message) {
  out << label << ':' << message << '\n' << std::flush;
}

}  // namespace

void reportError(const char* message) { writeLine(std::cerr, "Error", message); }

void reportStatus(const char* message) {
  if (!launcherState().verbose) return;
  reportLine(message, "Status");
}

void reportLine(const char* message, const char* label) { writeLine(std::cout, label, message); }
