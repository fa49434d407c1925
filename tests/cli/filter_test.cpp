// tabulet-cli dump --filter and export --filter, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/cli_runner.h"
#include "support/dbf_builder.h"
#include "support/test_util.h"

using testing_util::DbfBuilder;
using testing_util::ReadBytes;
using testing_util::RunCli;
using testing_util::TempDir;

namespace {

// The record numbers of a dump, blank-separated.
std::string RecordNumbers(const std::string& dump) {
  std::string numbers;
  const std::string key = "{\"recno\":";
  for (size_t at = dump.find(key); at != std::string::npos; at = dump.find(key, at + 1)) {
    const size_t start = at + key.size();
    if (!numbers.empty()) numbers += ' ';
    numbers += dump.substr(start, dump.find(',', start) - start);
  }
  return numbers;
}

class FilterCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    // The C locale: ANSI code page 1252, whatever the machine's locale.
    const char* locale = std::getenv("LC_ALL");
    savedLocale_ = locale ? locale : "";
    setenv("LC_ALL", "C.UTF-8", 1);
    // Code page 850 (language byte 0x10): 0x81 is u-umlaut.
    DbfBuilder(0x03, {{"CITY", 'C', 12}, {"AMOUNT", 'N', 8, 2}, {"BOOKED", 'D', 8}}, 0x10)
        .Record({"Berlin", "150.00", "20240105"})
        .Record({"berlin", "50.00", "20240106"})
        .Record({"M\x81nchen", "300.00", "20240107"})
        .Record({"Berlin", "999.00", "20240108"}, true)
        .Write(path_);
  }
  void TearDown() override {
    if (savedLocale_.empty()) {
      unsetenv("LC_ALL");
    } else {
      setenv("LC_ALL", savedLocale_.c_str(), 1);
    }
  }
  std::string savedLocale_;
  TempDir dir_;
  std::string path_ = dir_.File("t.dbf");
};

}  // namespace

TEST_F(FilterCommand, DumpsOnlyTheRecordsTheExpressionAccepts) {
  struct Case {
    const char* filter;
    const char* records;
  } const kCases[] = {
      {"CITY = 'Berlin' AND AMOUNT > 100", "1"},
      {"CITY = 'BERLIN'", "1 2"},        // trimmed, and case is ignored
      {"CITY = 'M\xC3\xBCnchen'", "3"},  // UTF-8 text against a field in code page 850
      {"NOT CITY = 'Berlin'", "3"},
      {"DTOS(BOOKED) >= '20240106'", "2 3"},
      {"AMOUNT > 1000", ""},
  };
  for (const auto& c : kCases) {
    const auto result = RunCli("dump " + path_ + " --filter \"" + c.filter + "\"");
    EXPECT_EQ(result.exitCode, 0) << c.filter << "\n" << result.out;
    EXPECT_EQ(RecordNumbers(result.out), c.records) << c.filter;
  }
  const auto withDeleted = RunCli("dump --deleted " + path_ + " --filter \"AMOUNT > 100\"");
  EXPECT_EQ(RecordNumbers(withDeleted.out), "1 3 4");
}

TEST_F(FilterCommand, AFilterThatDoesNotCompileOrIsNotLogicalIsAUsageError) {
  struct Case {
    const char* filter;
    const char* message;
  } const kCases[] = {
      {"CITY = ", "Function or operand has too few arguments"},
      {"TOWN = 'x'", "Index based on unknown field \"TOWN\"."},
      {"AMOUNT - 1 > 0", "Index based on unknown field \"-\"."},
      {"CITY", "the expression is not logical"},
      {"AMOUNT + 1", "the expression is not logical"},
      {"(CITY = 'x'", "Unequal brackets"},
  };
  for (const auto& c : kCases) {
    const auto result = RunCli("dump " + path_ + " --filter \"" + c.filter + "\"");
    EXPECT_EQ(result.exitCode, 2) << c.filter;
    EXPECT_NE(result.out.find("invalid filter"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("{\"file\""), std::string::npos) << "nothing is dumped";
  }
}

TEST_F(FilterCommand, ExportWritesOnlyTheAcceptedRecords) {
  const std::string page = dir_.File("t.htm");
  const auto result = RunCli("export " + path_ + " -o " + page + " --filter \"AMOUNT > 100\"");
  ASSERT_EQ(result.exitCode, 0) << result.out;
  const std::vector<uint8_t> bytes = ReadBytes(page);
  const std::string html(bytes.begin(), bytes.end());
  EXPECT_NE(html.find(">Berlin<"), std::string::npos) << html;
  EXPECT_NE(html.find(">M\xC3\xBCnchen<"), std::string::npos) << html;
  EXPECT_EQ(html.find(">berlin<"), std::string::npos) << html;
  EXPECT_EQ(html.find("999"), std::string::npos) << "a deleted record stays out";

  const auto refused =
      RunCli("export " + path_ + " -o " + dir_.File("u.htm") + " --filter \"UPPER(CITY)\"");
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.out.find("the expression is not logical"), std::string::npos);
}
