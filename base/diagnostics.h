// The launcher's one-line messages: a label, a colon, the message, a line feed, each written to
// its descriptor at once.
#pragma once

#include <string>

// "Error:" and the message on standard error, always.
void reportError(const char* message);
// "Status:" and the message on standard output, only in verbose mode.
void reportStatus(const char* message);
// The label, ":" and the message on standard output, always.
void reportLine(const char* message, const char* label);

// One such line appended to |out|: what the three above write, for callers that collect the
// lines first. A null label or message is written as the empty text.
void appendDiagnosticLine(std::string* out, const char* label, const char* message);
