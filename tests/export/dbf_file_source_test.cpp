#include "export/dbf_file_source.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "export/html_export.h"
#include "platform/settings.h"
#include "support/cli_runner.h"
#include "support/dbf_builder.h"
#include "support/test_util.h"

using namespace exporter;
using testing_util::DbfBuilder;
using testing_util::ReadBytes;
using testing_util::RunCli;
using testing_util::TempDir;
using testing_util::TimeStampBytes;

namespace {

std::string AsText(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Every row of a source as "cell|cell|..." lines, right-aligned cells marked with ">".
std::string Rows(TRecordSource& source) {
  std::string rows;
  TTextBuffer text;
  for (source.GoFirst(); !source.IsAtEnd(); source.GoNext()) {
    for (int i = 0; i < source.FieldCount(); ++i) {
      text.Clear();
      source.FieldText(i, text);
      rows += (i ? "|" : "") + std::string(source.IsRightAligned(i) ? ">" : "") +
              std::string(text.View());
    }
    rows += "\n";
  }
  return rows;
}

std::unique_ptr<dbf::TDbfFile> OpenReadOnly(const std::string& path) {
  auto table = std::make_unique<dbf::TDbfFile>(path);
  table->SetMode(dbf::pfReadOnly);
  table->Open();
  return table;
}

class DbfFileSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetSettings(platform::SettingsForLocale("de_DE.UTF-8")); }
  void TearDown() override { platform::SetSettings(platform::SettingsForLocale("C")); }
  TempDir dir;
};

}  // namespace

TEST_F(DbfFileSourceTest, FormatsEveryKindAndSkipsDeletedRecords) {
  // Language byte 0x10: code page 850, where 0x81 is u-umlaut and 0xE1 sharp s.
  DbfBuilder(0x03,
             {{"NAME", 'C', 12},
              {"BETRAG", 'N', 10, 2},
              {"ANZAHL", 'N', 4},
              {"GROSS", 'N', 20},
              {"DATUM", 'D', 8},
              {"OK", 'L', 1},
              {"_DBASELOCK", 'C', 16}},
             0x10)
      .Record({"M\x81ller", "   1234.50", "  12", "12345678901234567", "20240229", "T", ""})
      .Record({"gone", "1", "1", "1", "20000101", "F", ""}, true)
      .Record({"Stra\xE1"
               "e",
               "", "  -7", "0.5", "        ", "?", ""})
      .Write(dir.File("t.dbf"));
  auto table = OpenReadOnly(dir.File("t.dbf"));
  TDbfFileSource source(*table);
  EXPECT_EQ(source.RecordTotal(), 3);
  EXPECT_EQ(Rows(source),
            "Müller|>1234,5|>12|>1,23456789012346E16|29.02.2024|True|\n"
            "Straße|>|>-7|>0,5||False|\n");
}

TEST_F(DbfFileSourceTest, DateTimesLeaveOutMidnight) {
  const double day = 738652.0 * 86400000;  // 12 May 2023
  DbfBuilder(0x04, {{"STAMP", '@', 8}, {"N", 'I', 4}})
      .Record({TimeStampBytes(day + (13 * 3600 + 45 * 60 + 30) * 1000.0), std::string(4, '\0')})
      .Record({TimeStampBytes(day), testing_util::OrderedInt(-5)})
      .Write(dir.File("t.dbf"));
  auto table = OpenReadOnly(dir.File("t.dbf"));
  TDbfFileSource source(*table);
  EXPECT_EQ(Rows(source), "12.05.2023 13:45:30|>\n12.05.2023|>-5\n");
}

TEST_F(DbfFileSourceTest, EmptyTableAndOnlyDeletedRecordsGiveNoRows) {
  DbfBuilder(0x03, {{"A", 'C', 3}}).Write(dir.File("empty.dbf"));
  DbfBuilder(0x03, {{"A", 'C', 3}}).Record({"x"}, true).Write(dir.File("deleted.dbf"));
  for (const char* name : {"empty.dbf", "deleted.dbf"}) {
    auto table = OpenReadOnly(dir.File(name));
    TDbfFileSource source(*table);
    source.GoFirst();
    EXPECT_TRUE(source.IsAtEnd()) << name;
  }
}

TEST(ExportCommand, WritesThePageBesideTheTableAndNeverChangesTheTable) {
  TempDir dir;
  DbfBuilder(0x03, {{"NAME", 'C', 8}, {"WERT", 'N', 5}}, 0x57)
      .Record({"a<b", "   42"})
      .HeaderRecordCount(7)  // wrong on purpose: a writer would correct it
      .Write(dir.File("t.dbf"));
  const auto before = ReadBytes(dir.File("t.dbf"));
  const auto result = RunCli("export " + dir.File("t.dbf") + " --title 'Q&A' --padding 2.9" +
                             " --border-color '#ff0000'");
  ASSERT_EQ(result.exitCode, 0) << result.out;
  EXPECT_EQ(result.out, dir.File("t.htm") + "\n");
  const std::string page = AsText(ReadBytes(dir.File("t.htm")));
  for (const char* line :
       {"<title>Q&amp;A</title>\r\n", " padding: 2px;\r\n", " border: 1px solid #FF0000;\r\n",
        "<td>a&lt;b</td>\r\n", "<td align=right>42</td>\r\n"})
    EXPECT_NE(page.find(line), std::string::npos) << line;
  EXPECT_EQ(ReadBytes(dir.File("t.dbf")), before);
  EXPECT_FALSE(std::filesystem::exists(dir.File("t.dbt")));
}

TEST(ExportCommand, RefusesBadArgumentsAndReportsFailures) {
  TempDir dir;
  DbfBuilder(0x03, {{"A", 'C', 3}}).Record({"x"}).Write(dir.File("t.dbf"));
  const std::string table = dir.File("t.dbf");
  struct Case {
    std::string arguments;
    int exitCode;
    const char* says;
  } const kCases[] = {
      {table + " --border-color red", 2, "#RRGGBB"},
      {table + " --cell-color '#12345'", 2, "#RRGGBB"},
      {table + " --padding -1", 2, "padding"},
      {table + " --border-width abc", 2, "border-width"},
      {dir.File("missing.dbf"), 1, "file not found"},
      {table + " -o " + dir.File("no/such/folder.htm"), 1, "folder.htm"},
      {"", 2, "TABLE"},
  };
  for (const auto& c : kCases) {
    const auto result = RunCli("export " + c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments << "\n" << result.out;
    EXPECT_NE(result.out.find(c.says), std::string::npos) << c.arguments << "\n" << result.out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("t.htm")));
}

TEST(ExportCommand, MemosAreWrittenWholeOnOneCellLine) {
  TempDir dir;
  const std::string table = dir.File("m.dbf");
  ASSERT_EQ(RunCli("create " + table + " --level 4 --field NOTE:M --field N:N:5").exitCode, 0);
  testing_util::WriteBytes(
      dir.File("rows.jsonl"),
      {'{', '"', 'N', 'O', 'T',  'E',  '"', ':', '"', 'l', '1', '\\', 'r', '\\', 'n',
       '<', 'b', '>', ' ', 0xC3, 0xA4, '"', ',', '"', 'N', '"', ':',  '3', '}',  '\n'});
  ASSERT_EQ(RunCli("append " + table + " " + dir.File("rows.jsonl")).exitCode, 0);
  ASSERT_EQ(RunCli("export " + table).exitCode, 0);
  const std::string page = AsText(ReadBytes(dir.File("m.htm")));
  EXPECT_NE(page.find("<tr>\r\n<td>l1\r\n&lt;b&gt; \xC3\xA4</td>\r\n<td align=right>3</td>\r\n"),
            std::string::npos)
      << page;
}
