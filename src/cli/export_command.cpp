// tabulet-cli export TABLE [-o OUT] [--title T] [--padding N] [--border-width N]
//                          [--border-color #RRGGBB] [--cell-color #RRGGBB] [--open]
//                          [--filter EXPR]
// Writes the table's live records (with a filter: those for which the table expression is
// true) as an HTML page (TABLE with ".htm" unless -o says otherwise). The table is opened
// read-only; exporting never changes its files.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/record_filter.h"
#include "cli/table_reader.h"
#include "export/dbf_file_source.h"
#include "export/html_export.h"

extern char** environ;

namespace cli {
namespace {

struct ExportOptions {
  std::string table;
  std::string output;
  std::string filter;
  exporter::TExportSettings settings;
  bool open = false;
};

std::string DefaultOutput(const std::string& table) {
  const size_t slash = table.find_last_of('/');
  const size_t dot = table.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExt ? table.substr(0, dot) : table) + ".htm";
}

std::string CheckedColor(const std::string& text, const char* option) {
  std::string normalized;
  if (!exporter::ParseHtmlColor(text, normalized))
    throw UsageError(std::string(option) + ": \"" + text +
                     "\" is not a colour of the form #RRGGBB");
  return normalized;
}

// Hands the page to the desktop's handler for HTML files; does not wait for it.
void OpenWithDesktop(const std::string& path) {
  pid_t pid;
  const char* argv[] = {"xdg-open", path.c_str(), nullptr};
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    std::fprintf(stderr, "tabulet-cli: the page could not be handed to the desktop\n");
}

void RunExport(ExportOptions& options) {
  options.settings.BorderColor = CheckedColor(options.settings.BorderColor, "--border-color");
  options.settings.CellColor = CheckedColor(options.settings.CellColor, "--cell-color");
  if (options.output.empty()) options.output = DefaultOutput(options.table);

  auto table = OpenTableReadOnly(options.table);
  exporter::TDbfFileSource source(*table);
  std::unique_ptr<RecordFilter> filter;
  if (!options.filter.empty()) {
    filter = std::make_unique<RecordFilter>(*table, options.filter);
    source.SetFilter([&filter](const uint8_t* record) { return filter->Accepts(record); });
  }
  exporter::TExportProgress progress;
  const bool showProgress = isatty(STDERR_FILENO) == 1;
  if (showProgress) {
    progress = [](int64_t done, int64_t total) {
      std::fprintf(stderr, "\r%lld of %lld records", static_cast<long long>(done),
                   static_cast<long long>(total));
    };
  }
  exporter::ExportHtml(source, options.settings, options.output, progress);
  if (showProgress) std::fputc('\n', stderr);
  std::printf("%s\n", options.output.c_str());
  if (options.open) OpenWithDesktop(options.output);
}

}  // namespace

void AddExportCommand(CLI::App& app) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* command = app.add_subcommand("export", "Write a table as an HTML page");
  command->add_option("TABLE", options->table, "the .dbf file")->required();
  command->add_option("-o,--output", options->output, "the page to write (default: TABLE.htm)");
  command->add_option("--title", options->settings.Title, "page title and heading")
      ->default_str("Datenbank");
  command->add_option("--padding", options->settings.CellPadding, "cell padding in pixels")
      ->check(CLI::NonNegativeNumber)
      ->default_str("4");
  command->add_option("--border-width", options->settings.BorderWidth, "border width in pixels")
      ->check(CLI::NonNegativeNumber)
      ->default_str("1");
  command->add_option("--border-color", options->settings.BorderColor, "border colour #RRGGBB")
      ->default_str("#000000");
  command->add_option("--cell-color", options->settings.CellColor, "cell colour #RRGGBB")
      ->default_str("#F0CAA6");
  command->add_flag("--open", options->open, "open the page with the desktop when written");
  command->add_option("--filter", options->filter,
                      "only the records for which this table expression is true");
  command->callback([options] { RunExport(*options); });
}

}  // namespace cli
