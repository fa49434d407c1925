#include "cli/record_filter.h"

#include <exception>

#include "cli/commands.h"
#include "platform/codepage.h"
#include "platform/settings.h"

namespace cli {

RecordFilter::RecordFilter(dbf::TDbfFile& table, const std::string& utf8Expression)
    : parser_(&table) {
  parser_.SetRawStringFields(false);
  parser_.SetCaseInsensitive(true);
  const int ansi = platform::Settings().AnsiCodePage;
  try {
    parser_.Compile(platform::FromUtf8(ansi, utf8Expression));
  } catch (const std::exception& error) {
    // Engine messages quote the expression and field names in the ANSI code page.
    throw UsageError("invalid filter \"" + utf8Expression +
                     "\": " + platform::ToUtf8(ansi, error.what()));
  }
  if (parser_.ResultType() != dbf::rkBoolean)
    throw UsageError("invalid filter \"" + utf8Expression +
                     "\": the expression is not logical (true or false)");
}

}  // namespace cli
