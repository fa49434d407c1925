#include "export/html_export.h"

#include <cmath>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "export/page_file.h"

namespace exporter {
namespace {

constexpr int64_t kProgressEvery = 4096;

std::string Truncated(double value) {
  if (!std::isfinite(value)) return "0";
  return fmt::format("{}", static_cast<int64_t>(std::trunc(value)));
}

void WriteHead(TPageFile& page, const TExportSettings& settings) {
  page.Line("<html>");
  page.Line("<head>");
  page.Line("<meta charset=\"utf-8\">");
  page.Append("<title>");
  page.AppendEscaped(settings.Title);
  page.Line("</title>");
  page.Line("<style type=\"text/css\">");
  page.Line("<!--");
  page.Line(
      "a, p,h1,h2,h3,h4,ul,ol,li,div,td,th,address,blockquote,nobr,b,i    "
      "{ font-family:Arial,sans-serif; }");
  page.Line("table.test td {");
  page.Line(" border: " + Truncated(settings.BorderWidth) + "px solid " + settings.BorderColor +
            ";");
  page.Line(" padding: " + Truncated(settings.CellPadding) + "px;");
  page.Line(" background-color: " + settings.CellColor + ";");
  page.Line(" vertical-align:top;");
  page.Line("}");
  page.Line("-->");
  page.Line("</style>");
  page.Line("</head>");
  page.Line("<body>");
  page.Append("<h1>");
  page.AppendEscaped(settings.Title);
  page.Line("</h1>");
  page.Line("<table class=\"test\" style=\"border-collapse: collapse\">");
}

// A short piece of markup in a fixed-size block (see TTextBuffer::AppendBlock).
struct TMarkup {
  explicit TMarkup(std::string_view text) : length(text.copy(block, sizeof block)) {}
  char block[32] = {};
  size_t length;
};

// The markup before each cell: the end of the previous cell (or the row's start) and the
// cell's opening tag, so that each cell costs one append besides its text.
struct TCellPlan {
  TMarkup before;
  bool plain;
};

void WriteRows(TPageFile& page, TRecordSource& source, const TExportProgress& progress) {
  const int fieldCount = source.FieldCount();
  std::vector<TCellPlan> cells;
  for (int i = 0; i < fieldCount; ++i) {
    std::string before = i == 0 ? "<tr>\r\n" : "</td>\r\n";
    before += source.IsRightAligned(i) ? "<td align=right>" : "<td>";
    cells.push_back({TMarkup(before), source.IsPlainText(i)});
  }
  const TMarkup rowEnd(fieldCount == 0 ? "<tr>\r\n</tr>\r\n" : "</td>\r\n</tr>\r\n");
  const int64_t total = progress ? source.RecordTotal() : -1;

  int64_t done = 0;
  TTextBuffer& out = page.Buffer();
  for (source.GoFirst(); !source.IsAtEnd(); source.GoNext()) {
    for (int i = 0; i < fieldCount; ++i) {
      const TCellPlan& cell = cells[static_cast<size_t>(i)];
      out.AppendBlock(cell.before.block, cell.before.length);
      const size_t start = out.Size();
      source.FieldText(i, out);
      if (!cell.plain) page.EscapeTail(start);
    }
    out.AppendBlock(rowEnd.block, rowEnd.length);
    page.Drain();
    if (progress && ++done % kProgressEvery == 0) progress(done, total);
  }
  if (progress) progress(done, total);
}

}  // namespace

void ExportHtml(TRecordSource& source, const TExportSettings& settings, const std::string& path,
                const TExportProgress& progress) {
  TPageFile page(path);
  WriteHead(page, settings);
  WriteRows(page, source, progress);
  page.Line("</table>");
  page.Line("</body>");
  page.Line("</html>");
  page.Close();
}

std::string HtmlColorOf(uint32_t colorRef) {
  return fmt::format("#{:02X}{:02X}{:02X}", colorRef & 0xFF, (colorRef >> 8) & 0xFF,
                     (colorRef >> 16) & 0xFF);
}

bool ParseHtmlColor(const std::string& text, std::string& normalized) {
  if (text.size() != 7 || text[0] != '#') return false;
  std::string result = "#";
  for (size_t i = 1; i < 7; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      result += c;
    } else if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
      result += static_cast<char>(c & ~0x20);
    } else {
      return false;
    }
  }
  normalized = result;
  return true;
}

}  // namespace exporter
