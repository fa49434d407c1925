// tabulet-cli create and append, run as a user runs them; several appenders at once.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "support/cli_runner.h"
#include "support/test_util.h"

using testing_util::ReadBytes;
using testing_util::TempDir;

namespace {

using Result = testing_util::CliResult;

// Runs tabulet-cli in a German locale.
Result Cli(const std::string& arguments) {
  return testing_util::RunCli(arguments, "LC_ALL=de_DE.UTF-8");
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The dump's record lines (the header line names the file and is left out).
std::string Records(const std::string& dump) {
  return dump.substr(dump.find('\n') + 1);
}

}  // namespace

TEST(CreateCommand, RefusesBadDefinitions) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  WriteText(dir.File("old.dbf"), "keep");
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  } const kCases[] = {
      {"--level 4 --field NAME", 2, "bad field definition \"NAME\""},
      {"--level 4 --field NAME:C", 2, "field NAME: type C needs a length"},
      {"--level 4 --field NAME:X:5", 2, "field NAME: type X is not one of CNFLDMBG"},
      {"--level 4 --field ID:I", 2, "field ID: type I is not one of CNFLDMBG at this level"},
      {"--level 3 --field ELEVENCHARS:C:5", 2, "field ELEVENCHARS: the name is longer than 10"},
      {"--level 7 --field " + std::string(32, 'A') + ":C:5", 2, "longer than 31 characters"},
      {"--level 4 --field N:N:21", 2, "field N: type N takes a length from 1 to 20"},
      {"--level 4 --field N:N:5:4", 2, "field N: 4 decimals need a length of at least 6"},
      {"--level 4 --field D:D:9", 2, "field D: type D has the fixed length 8"},
      {"--level 4 --field A:C:3 --field a:N", 2, "field A is defined twice"},
      {"--level 5 --field A:C:3", 2, "bad level 5"},
  };
  for (const Case& c : kCases) {
    const Result result = Cli("create " + path + " " + c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments;
    EXPECT_NE(result.out.find(c.message), std::string::npos) << c.arguments << ": " << result.out;
  }
  EXPECT_FALSE(std::filesystem::exists(path));

  const Result exists = Cli("create " + dir.File("old.dbf") + " --level 4 --field A:C:3");
  EXPECT_EQ(exists.exitCode, 2);
  EXPECT_NE(exists.out.find("exists (--force replaces it)"), std::string::npos);
  EXPECT_EQ(Cli("create " + dir.File("old.dbf") + " --level 4 --field A:C:3 --force").exitCode, 0);
  EXPECT_EQ(ReadBytes(dir.File("old.dbf"))[0], 0x03);
}

TEST(AppendCommand, DumpAndAppendRoundTripAtEveryLevel) {
  struct Case {
    const char* level;
    const char* fields;
    std::string lines;
  } const kCases[] = {
      {"3",
       "--field name:C:12 --field qty:N:6 --field price:N:10:2 --field ok:L --field day:D "
       "--field note:M",
       R"({"NAME":"Müßig","qty":-42,"price":1234.5,"ok":true,"day":"2024-02-29","note":"a\nb"}
{"name":"leer","qty":null,"note":null}
{"name":"x","note":")" +
           std::string(511, 'b') + "\"}\n"},
      {"4", "--field name:C:12 --field qty:N:4 --field f:F --field pic:B --field ole:G",
       R"({"name":"Ä","qty":9999,"f":0.125,"pic":"AAEC/w==","ole":"T0xF"}
{"recno":7,"deleted":true,"values":["gelöscht",1,2.5,null,null]}
)"},
      {"25", "--field name:C:300 --field note:M --field d:D",
       R"({"name":")" + std::string(300, 'z') + R"(","note":"fox","d":"0001-01-01"}
)"},
      {"7",
       "--field name:C:40 --field id:+ --field count:I --field rate:O --field at:@ "
       "--field note:M",
       R"({"name":"sieben","count":-2147483648,"rate":-0.25,"at":"2023-05-12T13:45:30","note":"ß"}
{"name":"zwei","count":2147483647,"rate":1e300,"at":"9999-12-31"}
)"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.level);
    TempDir dir;
    const std::string source = dir.File("a.dbf"), copy = dir.File("b.dbf");
    for (const std::string& table : {source, copy})
      ASSERT_EQ(Cli("create " + table + " --level " + c.level + " " + c.fields).exitCode, 0);
    WriteText(dir.File("in.jsonl"), c.lines);
    Result appended = Cli("append " + source + " " + dir.File("in.jsonl"));
    ASSERT_EQ(appended.exitCode, 0) << appended.out;
    const Result first = Cli("dump --deleted " + source);
    ASSERT_EQ(first.exitCode, 0) << first.out;
    WriteText(dir.File("dump.jsonl"), first.out);
    appended = Cli("append " + copy + " - < " + dir.File("dump.jsonl"));
    ASSERT_EQ(appended.exitCode, 0) << appended.out;
    const Result second = Cli("dump --deleted " + copy);
    EXPECT_EQ(Records(second.out), Records(first.out));
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'),
              1 + std::count(c.lines.begin(), c.lines.end(), '\n'));
  }
}

TEST(AppendCommand, StoredFormsOfAppendedValues) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  ASSERT_EQ(Cli("create " + path +
                " --level 4 --field name:C:6 --field qty:N:5 --field price:N:8:2 --field d:D")
                .exitCode,
            0);
  WriteText(dir.File("in.jsonl"),
            "{\"name\":\"Maß\",\"qty\":42,\"price\":3.5,\"d\":\"2024-02-29\"}\n");
  ASSERT_EQ(Cli("append " + path + " " + dir.File("in.jsonl")).exitCode, 0);
  const auto bytes = ReadBytes(path);
  const size_t header = bytes[8] | (bytes[9] << 8);
  // Code page 1252 (language byte 0x61): sharp s is 0xDF.
  EXPECT_EQ(bytes[29], 0x61);
  EXPECT_EQ(std::string(bytes.begin() + long(header), bytes.end()),
            " Ma\xDF   00042    3.5020240229\x1A");
}

TEST(AppendCommand, ABadLineStopsWithItsNumberAndKeepsTheRecordsBefore) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  ASSERT_EQ(
      Cli("create " + path + " --level 4 --field name:C:4 --field qty:N:3 --field d:D").exitCode,
      0);
  struct Case {
    std::string line;
    std::string reason;
  } const kCases[] = {
      {"{\"qty\":1000}", "line 3: Value 1000 does not fit field \"QTY\" (3 characters)."},
      {"{\"name\":\"zulang\"}", "line 3: field NAME: the text needs 6 bytes, the field holds 4"},
      {"{\"price\":1}", "line 3: the table has no field \"price\""},
      {"{\"d\":\"2024-02-30\"}", "line 3: field D: expected a date \"YYYY-MM-DD\""},
      {"{\"qty\":\"7\"}", "line 3: field QTY: expected a number"},
      {"[1]", "line 3: a line must be a JSON object"},
      {"{\"name\":", "line 3: not JSON"},
  };
  int expected = 0;
  for (const Case& c : kCases) {
    WriteText(dir.File("in.jsonl"), "{\"name\":\"a\"}\n\n" + c.line + "\n{\"name\":\"b\"}\n");
    const Result result = Cli("append " + path + " " + dir.File("in.jsonl"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(c.reason), std::string::npos) << result.out;
    expected += 1;
    const Result dump = Cli("dump " + path);
    EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 1 + expected) << c.line;
  }
}

TEST(AppendCommand, FourProcessesAppendIntoOneSharedTable) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  ASSERT_EQ(Cli("create " + path +
                " --level 7 --field writer:I --field seq:I --field id:+ --field text:C:20 "
                "--field note:M")
                .exitCode,
            0);
  constexpr int kWriters = 4, kEach = 2500;
  std::string command = "sh -c '";
  for (int w = 0; w < kWriters; ++w) {
    std::string lines;
    for (int seq = 0; seq < kEach; ++seq)
      lines += "{\"writer\":" + std::to_string(w) + ",\"seq\":" + std::to_string(seq) +
               ",\"text\":\"w" + std::to_string(w) + "-" + std::to_string(seq) +
               "\",\"note\":\"memo " + std::to_string(w * kEach + seq) + "\"}\n";
    const std::string input = dir.File("in" + std::to_string(w) + ".jsonl");
    WriteText(input, lines);
    command += std::string("(\"$TABULET_CLI\" append ") + path + " " + input +
               " || echo writer failed) & ";
  }
  command += "wait'";
  const Result run = Cli("--version >/dev/null; " + command);
  EXPECT_EQ(run.out.find("failed"), std::string::npos) << run.out;

  const Result dump = Cli("dump " + path);
  ASSERT_EQ(dump.exitCode, 0);
  std::set<int> records, pairs, ids;
  size_t lines = 0;
  for (size_t at = dump.out.find('\n') + 1; at < dump.out.size(); ++lines) {
    const size_t end = dump.out.find('\n', at);
    const auto line = nlohmann::json::parse(dump.out.substr(at, end - at));
    at = end + 1;
    const auto& values = line["values"];
    const int writer = values[0], seq = values[1], id = values[2];
    const int key = writer * kEach + seq;
    EXPECT_EQ(values[3], "w" + std::to_string(writer) + "-" + std::to_string(seq));
    EXPECT_EQ(values[4], "memo " + std::to_string(key));
    records.insert(line["recno"].get<int>());
    pairs.insert(key);
    ids.insert(id);
  }
  EXPECT_EQ(lines, size_t(kWriters * kEach));
  EXPECT_EQ(records.size(), size_t(kWriters * kEach));
  EXPECT_EQ(pairs.size(), size_t(kWriters * kEach));
  EXPECT_EQ(ids.size(), size_t(kWriters * kEach));
  EXPECT_EQ(*ids.rbegin(), kWriters * kEach - 1);
}

TEST(Samples, BookkeepingTableReadsBackWithItsMemos) {
  const Result dump =
      Cli(std::string("dump --deleted ") + TABULET_SOURCE_DIR + "/samples/buchungen.dbf");
  ASSERT_EQ(dump.exitCode, 0) << dump.out;
  EXPECT_NE(dump.out.find("\"level\":4,\"version\":139,\"language_driver\":97,"
                          "\"code_page\":1252,\"records\":50"),
            std::string::npos);
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 51);
  size_t deleted = 0;
  for (size_t at = dump.out.find("\"deleted\":true"); at != std::string::npos;
       at = dump.out.find("\"deleted\":true", at + 1))
    ++deleted;
  EXPECT_EQ(deleted, 2u);
  EXPECT_NE(dump.out.find("\"Büromaterial Müller & Söhne\""), std::string::npos);
  EXPECT_NE(dump.out.find("Rückfrage bei Frau Weiß"), std::string::npos);
  EXPECT_NE(dump.out.find("Position 20: Leistung gemäß Angebot"), std::string::npos);
}
