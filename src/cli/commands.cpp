#include "cli/commands.h"

namespace cli {

void AddCommands(CLI::App& app) {
  AddInfoCommand(app);
  AddDumpCommand(app);
  AddExportCommand(app);
}

}  // namespace cli
