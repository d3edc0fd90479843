// The handlers through which the runtime writes the application's text, from any of its threads.
#pragma once

// Writes |text| to standard output as it is.
int outputHandler(const char* text);
// Writes |text| to standard error, ended by a line feed when it has none; returns the bytes
// written, or the result of the write that failed.
int errorHandler(const char* text);
