// Runs tabulet-cli as a user does (the program named by the TABULET_CLI environment variable
// that CTest sets), capturing what it prints.
#pragma once

#include <string>

namespace testing_util {

struct CliResult {
  int exitCode;     // -1 when the program died by a signal
  std::string out;  // stdout, with stderr appended
};

// `arguments` in shell syntax.
CliResult RunCli(const std::string& arguments);

}  // namespace testing_util
