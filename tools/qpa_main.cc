#include <exception>
#include <iostream>
#include <vector>

#include "tools/command.h"
#include "tools/embed_command.h"
#include "tools/pack_command.h"

int main(int argc, char** argv) {
  try {
    CLI::App app("Builds archives for Korvel compiled applications.", "qpa");
    app.require_subcommand(0, 1);
    std::vector<Command> commands = {addPackCommand(&app), addEmbedCommand(&app)};
    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
      return app.exit(e);
    } catch (const CLI::ParseError& e) {
      std::cerr << "qpa: " << e.what() << std::endl;
      return 1;
    }
    for (const Command& command : commands) {
      if (!command.parser->parsed()) continue;
      std::string err;
      if (command.run(&err)) return 0;
      std::cerr << "qpa: " << err << std::endl;
      return 1;
    }
    std::cerr << "qpa: no subcommand given: pack or embed (see qpa --help)" << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "qpa: " << e.what() << std::endl;
    return 1;
  }
}
