// Reporting the runtime's explanation of its last failure.
#pragma once

// The text of the runtime's last error, as an error line. A runtime that gives no text (a null
// pointer) gets an error line saying so instead of a crash.
void reportLastRuntimeError();

inline constexpr char kNoRuntimeErrorText[] = "The runtime gave no error text.";
