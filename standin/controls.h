// The test controls of the stand-in: environment variables, read at every call, that record the
// calls, make functions fail and bend results. A value that does not parse is reported once on
// standard error, as "standin: bad NAME value: VALUE", and ignored.
#pragma once

#include <string>
#include <string_view>

// The file named by STANDIN_TRACE, or null.
const char* traceFilePath();

// Appends |line| and a line feed to the file at |path| in one write on an O_APPEND descriptor,
// so that lines from different threads never mix.
void appendTraceLine(const char* path, std::string line);

// Appends the line that |format| returns to the trace file, when STANDIN_TRACE names one.
template <typename Format>
void trace(Format format) {
  if (const char* path = traceFilePath()) appendTraceLine(path, format());
}

// True when STANDIN_FAIL names |function|, one of the runtime's boolean functions.
bool failureRequested(std::string_view function);

// The last error text of a function that is made to fail: STANDIN_ERROR or "NAME failed".
std::string failureText(std::string_view function);

// True when STANDIN_NULL_ERROR is present.
bool nullErrorRequested();

// True when STANDIN_NULL_INSTANCE is present.
bool nullInstanceRequested();

// True, with the count in |count|, when STANDIN_CMDLINE_COUNT holds an integer.
bool cmdlineCountRequested(int* count);
