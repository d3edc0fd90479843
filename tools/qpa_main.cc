#include <exception>
#include <iostream>
#include <new>
#include <vector>

#include "tools/check_command.h"
#include "tools/command.h"
#include "tools/embed_command.h"
#include "tools/extract_command.h"
#include "tools/pack_command.h"
#include "tools/show_command.h"
#include "tools/strip_command.h"

int main(int argc, char** argv) {
  try {
    CLI::App app(
        "Builds and inspects archives for Korvel compiled applications, and checks deployments "
        "the way the launcher sees them.",
        "qpa");
    app.require_subcommand(0, 1);
    std::vector<Command> commands = {addPackCommand(&app),    addEmbedCommand(&app),
                                     addShowCommand(&app),    addCheckCommand(&app),
                                     addExtractCommand(&app), addStripCommand(&app)};
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
      int status = 0;
      std::string err;
      if (command.run(&status, &err)) return status;
      std::cerr << "qpa: " << err << std::endl;
      return 1;
    }
    std::cerr << "qpa: no subcommand given: pack, embed, show, check, extract or strip (see qpa "
                 "--help)"
              << std::endl;
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "qpa: out of memory" << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "qpa: " << e.what() << std::endl;
    return 1;
  }
}
