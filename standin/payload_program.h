// The program that the stand-in runtime finds in an application payload, and its interpreter.
// The line format is described at the top of payload_program.cc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The form of the runtime's output and error handlers: a NUL-terminated text.
using PayloadTextHandler = int (*)(const char* text);

struct PayloadCommand {
  enum class Kind { kOut, kErr, kArgs, kParams, kExit, kThreads, kInvalid };
  Kind kind;
  std::string text = "";  // kOut, kErr: the decoded text; kInvalid: the line as written
  int64_t first = 0;      // kExit: the status; kThreads: the thread count
  int64_t second = 0;     // kThreads: the lines per thread
};

// Every line of |bytes| that is neither blank nor a comment, in order. A line that is not a
// valid command becomes kInvalid, so a payload always parses.
std::vector<PayloadCommand> parsePayloadProgram(std::string_view bytes);

// What a run hands the program: the handlers, the main function's command line, and the
// "name=value\n" lines that `params` writes.
struct PayloadContext {
  PayloadTextHandler output;
  PayloadTextHandler error;
  int argc;
  char** argv;
  std::vector<std::string> params;
};

// Runs |program| and returns its exit status: 0 at the end, N at `exit N`, 70 at an invalid line.
int runPayloadProgram(const std::vector<PayloadCommand>& program, const PayloadContext& context);
