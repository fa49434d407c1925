// Writes a table as one HTML page: a head with a small style sheet built from the settings, a
// heading, and one table row per record with one cell per field. The page is UTF-8 (it says so
// in a meta line), lines end in CRLF, cell texts and the title are HTML-escaped. Streams: the
// memory used does not grow with the table. Failures to create or write the page throw
// platform::Exception naming the file; the file is closed on every path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "export/record_source.h"

namespace exporter {

struct TExportSettings {
  std::string Title = "Datenbank";
  double CellPadding = 4;  // written truncated toward zero
  double BorderWidth = 1;
  std::string BorderColor = "#000000";  // "#RRGGBB"
  std::string CellColor = "#F0CAA6";
};

// Called now and then with the records written so far and the source's RecordTotal().
using TExportProgress = std::function<void(int64_t done, int64_t total)>;

// Writes the page into `path`, replacing what was there.
void ExportHtml(TRecordSource& source, const TExportSettings& settings, const std::string& path,
                const TExportProgress& progress = nullptr);

// "#RRGGBB" for a platform colour value 0x00BBGGRR.
std::string HtmlColorOf(uint32_t colorRef);
// Upper-cases "#rrggbb" into `normalized`; false when the text is not such a colour.
bool ParseHtmlColor(const std::string& text, std::string& normalized);

}  // namespace exporter
