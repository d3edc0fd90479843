#include "launcher/diagnostics.h"

#include "launcher/launcher_state.h"
#include "launcher/standard_streams.h"

void writeDiagnosticLine(std::ostream& out, const char* label, const char* message) {
  out << label << ':' << message << '\n' << std::flush;
}

void reportError(const char* message) { writeDiagnosticLine(standardError(), "Error", message); }

void reportStatus(const char* message) {
  if (!launcherState().verbose) return;
  reportLine(message, "Status");
}

void reportLine(const char* message, const char* label) {
  writeDiagnosticLine(standardOutput(), label, message);
}
