#include "export/html_export.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/exceptions.h"
#include "support/test_util.h"

using namespace exporter;
using testing_util::ReadBytes;
using testing_util::TempDir;

namespace {

// Records held in memory; the writer sees only the record-source contract.
class TRowsSource : public TRecordSource {
 public:
  TRowsSource(std::vector<bool> aligned, std::vector<std::vector<std::string>> rows)
      : aligned_(std::move(aligned)), rows_(std::move(rows)) {}
  void GoFirst() override { at_ = 0; }
  bool IsAtEnd() override { return at_ >= rows_.size(); }
  void GoNext() override { ++at_; }
  int FieldCount() override { return static_cast<int>(aligned_.size()); }
  bool IsRightAligned(int i) override { return aligned_[static_cast<size_t>(i)]; }
  void FieldText(int i, TTextBuffer& text) override { text.Append(rows_[at_][static_cast<size_t>(i)]); }
  int64_t RecordTotal() override { return static_cast<int64_t>(rows_.size()); }

 private:
  std::vector<bool> aligned_;
  std::vector<std::vector<std::string>> rows_;
  size_t at_ = 0;
};

std::string Page(const std::string& head, const std::string& rows) {
  return head + rows + "</table>\r\n</body>\r\n</html>\r\n";
}

std::string Head(const std::string& title, const std::string& border, const std::string& padding,
                 const std::string& cellColor) {
  return "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>" + title +
         "</title>\r\n<style type=\"text/css\">\r\n<!--\r\n"
         "a, p,h1,h2,h3,h4,ul,ol,li,div,td,th,address,blockquote,nobr,b,i    "
         "{ font-family:Arial,sans-serif; }\r\n"
         "table.test td {\r\n border: " +
         border + ";\r\n padding: " + padding + "px;\r\n background-color: " + cellColor +
         ";\r\n vertical-align:top;\r\n}\r\n-->\r\n</style>\r\n</head>\r\n<body>\r\n<h1>" + title +
         "</h1>\r\n<table class=\"test\" style=\"border-collapse: collapse\">\r\n";
}

std::string AsText(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(HtmlExport, DefaultSettingsGiveTheExactPage) {
  TempDir dir;
  TRowsSource source({false, true, false}, {{"Müller", "12.5", "True"}, {"", "", "False"}});
  ExportHtml(source, TExportSettings(), dir.File("p.htm"));
  EXPECT_EQ(
      AsText(ReadBytes(dir.File("p.htm"))),
      Page(Head("Datenbank", "1px solid #000000", "4", "#F0CAA6"),
           "<tr>\r\n<td>Müller</td>\r\n<td align=right>12.5</td>\r\n<td>True</td>\r\n</tr>\r\n"
           "<tr>\r\n<td></td>\r\n<td align=right></td>\r\n<td>False</td>\r\n</tr>\r\n"));
}

TEST(HtmlExport, ChangedSettingsAreTruncatedAndEscaped) {
  TempDir dir;
  TRowsSource source({false}, {{"a < b & \"c\" > d"}});
  TExportSettings settings;
  settings.Title = "Q&A <script>";
  settings.CellPadding = 2.9;
  settings.BorderWidth = -0.5;
  settings.BorderColor = "#FF0000";
  settings.CellColor = "#00FF7F";
  ExportHtml(source, settings, dir.File("p.htm"));
  EXPECT_EQ(AsText(ReadBytes(dir.File("p.htm"))),
            Page(Head("Q&amp;A &lt;script&gt;", "0px solid #FF0000", "2", "#00FF7F"),
                 "<tr>\r\n<td>a &lt; b &amp; &quot;c&quot; &gt; d</td>\r\n</tr>\r\n"));
}

TEST(HtmlExport, EmptyTableGivesACompletePageWithoutRows) {
  TempDir dir;
  TRowsSource source({true, false}, {});
  int64_t reportedDone = -1;
  ExportHtml(source, TExportSettings(), dir.File("p.htm"),
             [&](int64_t done, int64_t) { reportedDone = done; });
  EXPECT_EQ(AsText(ReadBytes(dir.File("p.htm"))),
            Page(Head("Datenbank", "1px solid #000000", "4", "#F0CAA6"), ""));
  EXPECT_EQ(reportedDone, 0);
}

TEST(HtmlExport, MultiLineTextStaysOnOneCellLine) {
  TempDir dir;
  TRowsSource source({false}, {{"line 1\r\nline 2"}});
  ExportHtml(source, TExportSettings(), dir.File("p.htm"));
  EXPECT_NE(AsText(ReadBytes(dir.File("p.htm"))).find("<td>line 1\r\nline 2</td>\r\n"),
            std::string::npos);
}

TEST(HtmlExport, UnwritableTargetsAreReported) {
  TempDir dir;
  TRowsSource source({false}, {{"x"}});
  EXPECT_THROW(ExportHtml(source, TExportSettings(), dir.File("missing/p.htm")),
               platform::Exception);
  if (access("/dev/full", W_OK) == 0) {  // every write fails there: disk full
    EXPECT_THROW(ExportHtml(source, TExportSettings(), "/dev/full"), platform::Exception);
  }
  if (geteuid() != 0) {  // root writes anywhere
    chmod(dir.Path().c_str(), 0500);
    EXPECT_THROW(ExportHtml(source, TExportSettings(), dir.File("p.htm")), platform::Exception);
    chmod(dir.Path().c_str(), 0700);
  }
}

TEST(HtmlExport, ColoursAsHtmlText) {
  EXPECT_EQ(HtmlColorOf(0x000000FF), "#FF0000");  // pure red: 0x00BBGGRR
  EXPECT_EQ(HtmlColorOf(0x00A6CAF0), "#F0CAA6");
  std::string normalized;
  EXPECT_TRUE(ParseHtmlColor("#f0caa6", normalized));
  EXPECT_EQ(normalized, "#F0CAA6");
  for (const char* bad : {"", "F0CAA6", "#F0CAA", "#F0CAA6A", "#G0CAA6", "red"})
    EXPECT_FALSE(ParseHtmlColor(bad, normalized)) << bad;
}
