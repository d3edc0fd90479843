// A qpa subcommand: the parser that holds its arguments, and what it does once they are parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

// The exit status of a subcommand that ran but answers "no": a block the launcher does not
// accept, a start that the launcher or the system refuses. Bad input gives 1.
inline constexpr int kAnswerNo = 2;

struct Command {
  CLI::App* parser = nullptr;
  // Runs the subcommand on the parsed arguments. On failure |err| says what is wrong; on success
  // |status| is the exit status, left 0 unless the answer is kAnswerNo.
  std::function<bool(int* status, std::string* err)> run;
};
