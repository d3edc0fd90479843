#include "base/diagnostics.h"

#include <unistd.h>

#include "base/descriptor_output.h"
#include "base/launcher_state.h"

namespace {

// A null text from the runtime is written as the empty text.
const char* orEmpty(const char* text) { return text ? text : ""; }

void writeDiagnosticLine(int fd, const char* label, const char* message) {
  writeToDescriptor(fd, {orEmpty(label), ":", orEmpty(message), "\n"});
}

}  // namespace

void appendDiagnosticLine(std::string* out, const char* label, const char* message) {
  out->append(orEmpty(label)).append(":").append(orEmpty(message)).append("\n");
}

void reportError(const char* message) { writeDiagnosticLine(STDERR_FILENO, "Error", message); }

void reportStatus(const char* message) {
  if (!launcherState().verbose) return;
  reportLine(message, "Status");
}

void reportLine(const char* message, const char* label) {
  writeDiagnosticLine(STDOUT_FILENO, label, message);
}
