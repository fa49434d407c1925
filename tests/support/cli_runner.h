// Runs tabulet-cli as a user does (the program named by the TABULET_CLI environment variable
// that CTest sets), capturing what it prints.
#pragma once

#include <string>

namespace testing_util {

struct CliResult {
  int exitCode;     // -1 when the program died by a signal
  std::string out;  // stdout, with stderr appended
};

// `arguments` in shell syntax; `environment` ("LC_ALL=de_DE.UTF-8") is set for the run.
CliResult RunCli(const std::string& arguments, const std::string& environment = "");

}  // namespace testing_util
