// The launcher's one-line messages: a label, a colon, the message, a line feed, flushed at once.
#pragma once

// "Error:" and the message on standard error, always.
void reportError(const char* message);
// "Status:" and the message on standard output, only in verbose mode.
void reportStatus(const char* message);
// The label, ":" and the message on standard output, always.
void reportLine(const char* message, const char* label);
