// The subcommands of tabulet-cli. Each Add…Command registers a subcommand with its options and
// a callback that runs during parsing. Callbacks report failures by throwing; main turns them
// into exit codes: 2 for usage errors (CLI11's own, UsageError), 1 for every other failure.
#pragma once

#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

namespace cli {

// A command line that asks for something impossible (bad colour, unknown field type, ...).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Registers every subcommand; defined in commands.cpp.
void AddCommands(CLI::App& app);

void AddInfoCommand(CLI::App& app);    // info_command.cpp
void AddDumpCommand(CLI::App& app);    // dump_command.cpp
void AddCreateCommand(CLI::App& app);  // create_command.cpp
void AddAppendCommand(CLI::App& app);  // append_command.cpp
void AddExportCommand(CLI::App& app);  // export_command.cpp

}  // namespace cli
