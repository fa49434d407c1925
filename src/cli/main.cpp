// tabulet-cli: the table engine from the command line.
#include <cstdio>
#include <exception>

#include "cli/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Zorvik Tabulet - read, write and export dBASE-family tables"};
  app.set_version_flag("--version", std::string("tabulet-cli ") + TABULET_VERSION);
  app.require_subcommand(0, 1);
  cli::AddCommands(app);

  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) std::fputs(app.help().c_str(), stdout);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 2;
  } catch (const cli::UsageError& error) {
    std::fprintf(stderr, "tabulet-cli: %s\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tabulet-cli: %s\n", error.what());
    return 1;
  }
  return 0;
}
