#include "cli/commands.h"

namespace cli {

void AddCommands(CLI::App& app) {
  AddInfoCommand(app);
  AddDumpCommand(app);
  AddCreateCommand(app);
  AddAppendCommand(app);
  AddExportCommand(app);
}

}  // namespace cli
