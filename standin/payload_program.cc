// The payload program: text, one command a line. A line ends at a line feed; the last one may
// lack it. Lines that are empty or hold only spaces, tabs and carriage returns, and lines that
// start with '#', are ignored. Every other line must be exactly one of:
//   out TEXT      passes TEXT to the output handler; no line feed is added
//   err TEXT      passes TEXT to the error handler
//   args          "argc=N\n" with the count the main function received, then "argv[i]=VALUE\n"
//                 for i from 0 to N-1, stopping early at a null entry
//   params        "name=value\n" for each parameter of the main function and the initializer
//   exit N        ends the program with status N, a signed 32-bit decimal integer
//   threads T N   runs T threads (1..64) at once; thread t (0..T-1) passes N (0..100000) times
//                 "out Tt Li xxx...\n" to the output handler, then "err Tt Li xxx...\n" to the
//                 error handler (i from 0), each padded with 'x' to 64 bytes; then joins them
// TEXT is everything after the single space, with the escapes \n, \t, \\ and \xHH for a line
// feed, a tab, a backslash and any byte; a handler sees the text up to its first NUL byte.
// `out` and `err` alone pass an empty text. Words and numbers are separated by one space.
// Any other line is found when the program reaches it: "standin: unknown payload command: LINE\n"
// goes to the error handler and the program ends with status 70. An empty program returns 0.
#include "standin/payload_program.h"

#include <charconv>
#include <system_error>
#include <thread>

#include "base/text_escapes.h"

namespace {

using Kind = PayloadCommand::Kind;

constexpr int kFailureStatus = 70;
constexpr size_t kThreadLineSize = 64;

bool isBlank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

bool parseNumber(std::string_view text, int64_t min, int64_t max, int64_t* value) {
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && at == end && !text.empty() && *value >= min && *value <= max;
}

PayloadCommand parseLine(std::string_view line) {
  PayloadCommand invalid{Kind::kInvalid, std::string(line)};
  size_t space = line.find(' ');
  std::string_view word = line.substr(0, space);
  bool hasRest = space != std::string_view::npos;
  std::string_view rest = hasRest ? line.substr(space + 1) : std::string_view();
  if (word == "out" || word == "err") {
    PayloadCommand command{word == "out" ? Kind::kOut : Kind::kErr};
    std::string why;  // a bad escape makes the line one that the program does not know
    return unescapeText(rest, &command.text, &why) ? command : invalid;
  }
  if (word == "args" && !hasRest) return {Kind::kArgs};
  if (word == "params" && !hasRest) return {Kind::kParams};
  PayloadCommand command{word == "exit" ? Kind::kExit : Kind::kThreads};
  if (word == "exit" && hasRest && parseNumber(rest, INT32_MIN, INT32_MAX, &command.first)) {
    return command;
  }
  size_t split = rest.find(' ');
  if (word == "threads" && split != std::string_view::npos &&
      parseNumber(rest.substr(0, split), 1, 64, &command.first) &&
      parseNumber(rest.substr(split + 1), 0, 100000, &command.second)) {
    return command;
  }
  return invalid;
}

std::string threadLine(const char* stream, int64_t thread, int64_t line) {
  std::string text =
      std::string(stream) + " T" + std::to_string(thread) + " L" + std::to_string(line) + " ";
  text.append(kThreadLineSize - 1 - text.size(), 'x');
  return text + "\n";
}

void writeThreadLines(const PayloadContext& context, int64_t thread, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    context.output(threadLine("out", thread, i).c_str());
    context.error(threadLine("err", thread, i).c_str());
  }
}

bool runThreads(const PayloadContext& context, int64_t threadCount, int64_t lineCount) {
  std::vector<std::thread> threads;
  std::string failure;
  try {
    for (int64_t t = 0; t < threadCount; ++t) {
      threads.emplace_back(writeThreadLines, std::cref(context), t, lineCount);
    }
  } catch (const std::system_error& e) {
    failure = e.what();
  }
  for (std::thread& thread : threads) thread.join();
  if (failure.empty()) return true;
  context.error(("standin: cannot start a thread: " + failure + "\n").c_str());
  return false;
}

void writeArgs(const PayloadContext& context) {
  context.output(("argc=" + std::to_string(context.argc) + "\n").c_str());
  for (int i = 0; context.argv && i < context.argc && context.argv[i]; ++i) {
    context.output(("argv[" + std::to_string(i) + "]=" + context.argv[i] + "\n").c_str());
  }
}

}  // namespace

std::vector<PayloadCommand> parsePayloadProgram(std::string_view bytes) {
  std::vector<PayloadCommand> program;
  while (!bytes.empty()) {
    size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    if (isBlank(line) || line[0] == '#') continue;
    program.push_back(parseLine(line));
  }
  return program;
}

int runPayloadProgram(const std::vector<PayloadCommand>& program, const PayloadContext& context) {
  for (const PayloadCommand& command : program) {
    switch (command.kind) {
      case Kind::kOut:
        context.output(command.text.c_str());
        break;
      case Kind::kErr:
        context.error(command.text.c_str());
        break;
      case Kind::kArgs:
        writeArgs(context);
        break;
      case Kind::kParams:
        for (const std::string& line : context.params) context.output(line.c_str());
        break;
      case Kind::kExit:
        return static_cast<int>(command.first);
      case Kind::kThreads:
        if (!runThreads(context, command.first, command.second)) return kFailureStatus;
        break;
      case Kind::kInvalid:
        context.error(("standin: unknown payload command: " + command.text + "\n").c_str());
        return kFailureStatus;
    }
  }
  return 0;
}
