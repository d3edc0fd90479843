#include "base/diagnostics.h"

#include "base/launcher_state.h"
#include "base/standard_streams.h"

void writeDiagnosticLine(std::ostream& out, const char* label, const char* message) {
  // A null text would set the stream's failure state and silence every later line on it, so it
  // is written as the empty text.
  out << (label ? label : "") << ':' << (message ? message : "") << '\n' << std::flush;
}

void reportError(const char* message) { writeDiagnosticLine(standardError(), "Error", message); }

void reportStatus(const char* message) {
  if (!launcherState().verbose) return;
  reportLine(message, "Status");
}

void reportLine(const char* message, const char* label) {
  writeDiagnosticLine(standardOutput(), label, message);
}
