#include "support/cli_runner.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace testing_util {

CliResult RunCli(const std::string& arguments, const std::string& environment) {
  const char* cli = std::getenv("TABULET_CLI");
  const std::string command = (environment.empty() ? "" : environment + " ") +
                              std::string(cli ? cli : "tabulet-cli") + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  CliResult result{-1, ""};
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace testing_util
