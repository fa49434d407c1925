#include "cli/commands.h"

namespace cli {

void AddCommands(CLI::App& /*app*/) {
  // Subcommands register here as they are built: info, dump, export, create, append.
}

}  // namespace cli
