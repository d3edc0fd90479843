// A qpa subcommand: the parser that holds its arguments, and what it does once they are parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

struct Command {
  CLI::App* parser = nullptr;
  // Runs the subcommand on the parsed arguments; on failure |err| says what is wrong.
  std::function<bool(std::string* err)> run;
};
