#include "launcher/diagnostics.h"

#include <iostream>

#include "launcher/launcher_state.h"

void writeDiagnosticLine(std::ostream& out, const char* label, const char* message) {
  out << label << ':' << message << '\n' << std::flush;
}

void reportError(const char* message) { writeDiagnosticLine(std::cerr, "Error", message); }

void reportStatus(const char* message) {
  if (!launcherState().verbose) return;
  reportLine(message, "Status");
}

void reportLine(const char* message, const char* label) {
  writeDiagnosticLine(std::cout, label, message);
}
