#include "dbf/dbf_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "dbf/dbf_dbffile.h"
#include "expr_test_parser.h"
#include "platform/exceptions.h"
#include "platform/settings.h"
#include "support/dbf_builder.h"
#include "support/test_util.h"

using namespace dbf;
using expr_test::TTestParser;

namespace {

// German locale, ANSI code page 1252: collation by ICU, fixed whatever the machine's locale.
class Vocabulary : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::Settings();
    platform::TPlatformSettings settings = saved_;
    settings.UserLCID = 0x0407;
    settings.AnsiCodePage = 1252;
    settings.DecimalSeparator = ',';
    platform::SetSettings(settings);
    parser_.a() = 3;
    parser_.x = 3.5;
    parser_.y = -2.5;
    parser_.when = 45000.75;  // 15 March 2023, 18:00
    parser_.s = "Hello";
  }
  void TearDown() override { platform::SetSettings(saved_); }

  struct TParser : TTestParser {
    int32_t& a() { return ints[0]; }
  } parser_;
  platform::TPlatformSettings saved_;
};

struct Case {
  const char* text;
  std::string result;
};

void ExpectResults(TTestParser& parser, std::initializer_list<Case> cases) {
  for (const auto& c : cases) {
    try {
      EXPECT_EQ(parser.Evaluate(c.text), c.result) << c.text;
    } catch (const std::exception& error) {
      ADD_FAILURE() << c.text << ": " << error.what();
    }
  }
}

}  // namespace

TEST_F(Vocabulary, AdditionPicksTheOverloadByArgumentKinds) {
  parser_.big = 5;
  ExpectResults(parser_, {
                             {"1 + 2", "I:3"},
                             {"a + 1", "I:4"},
                             {"x + 1", "F:4.5"},
                             {"1 + x", "F:4.5"},
                             {"x + y", "F:1"},
                             {"x + big", "F:8.5"},
                             {"big + x", "F:8.5"},
                             {"a + big", "L:8"},
                             {"big + a", "L:8"},
                             {"big + big", "L:10"},
                             {"'ab' + 'cd' + s", "S:abcdHello"},
                             {"2147483647 + 1", "I:-2147483648"},  // wraps
                         });
  parser_.big = std::numeric_limits<int64_t>::max();
  ExpectResults(parser_, {{"big + 1", "L:-9223372036854775808"}});
}

TEST_F(Vocabulary, Comparisons) {
  parser_.big = (int64_t(1) << 53) + 1;  // not representable as a double
  ExpectResults(parser_, {
                             {"'abc' = 'ABC'", "B:T"},   // case ignored at creation
                             {"'abc' = 'abc '", "B:F"},  // trailing blanks count
                             {"'abc' < 'abd'", "B:T"},
                             {"'b' > 'a'", "B:T"},
                             {"'a' <= 'a'", "B:T"},
                             {"'a' >= 'b'", "B:F"},
                             {"'a' < 'B'", "B:T"},     // collation, not byte order
                             {"'\xE4' < 'b'", "B:T"},  // ä sorts with a
                             {"1 = 1.0", "B:T"},
                             {"1.5 > 1", "B:T"},
                             {"a < x", "B:T"},
                             {"x <= a", "B:F"},
                             {"a >= 3", "B:T"},
                             {"big = 9007199254740992.0", "B:F"},  // exact, not via double
                             {"big > 9007199254740992.0", "B:T"},
                             {"9007199254740992.0 < big", "B:T"},
                             {"big = big", "B:T"},
                             {"big > a", "B:T"},
                             {"a < big", "B:T"},
                             {"NOT 1 = 1", "B:F"},
                             {"1 = 1 AND 1 = 2", "B:F"},
                             {"1 = 1 AND 2 = 2", "B:T"},
                             {"1 = 1 OR 1 = 2", "B:T"},
                             {"1 = 2 OR 1 = 2", "B:F"},
                         });
}

TEST_F(Vocabulary, CaseSensitiveComparisonsAfterTheSwitch) {
  parser_.CompileText("'abc' = 'ABC'");
  parser_.SetCaseInsensitive(false);
  EXPECT_FALSE(parser_.IsCompiled());  // the switch drops what was compiled
  ExpectResults(parser_, {{"'abc' = 'ABC'", "B:F"}, {"'abc' < 'ABC'", "B:T"}});
  parser_.SetCaseInsensitive(true);
  ExpectResults(parser_, {{"'abc' = 'ABC'", "B:T"}});
}

TEST_F(Vocabulary, StrBothForms) {
  parser_.x = 1e20;
  ExpectResults(parser_, {
                             // float form: blanks on the left, cut on the right
                             {"STR(3.7)", "S:4"},
                             {"STR(3.7, 6)", "S:     4"},
                             {"STR(3.14159, 8, 2)", "S:    3.14"},
                             {"STR(123456.0, 4)", "S:1234"},
                             {"STR(2.5, 6, 1)", "S:   2.5"},
                             {"STR(2.5)", "S:3"},  // halves round away from zero
                             {"STR(y)", "S:-3"},
                             {"STR(y, 6, 2)", "S: -2.50"},
                             {"STR(0.125, 5, 2)", "S: 0.13"},
                             {"STR(x)", "S:1E20"},  // beyond 18 digits: exponent form
                             {"STR(1.5, 0)", "S:"},
                             {"STR(1.5, 1 + $7FFFFFFF)",
                              "S:"},  // negative width
                                      // integer form: zeros on the left, lowest digits kept
                             {"STR(42)", "S:42"},
                             {"STR(a)", "S:3"},
                             {"STR(42, 5)", "S:00042"},
                             {"STR(42, 5, 2)", "S:00042.00"},
                             {"STR(123456, 3)", "S:456"},
                             {"STR(2147483647 + 1)", "S:-2147483648"},
                             {"STR(2147483647 + 1, 4)", "S:-648"},
                         });
  parser_.ints[1] = -42;
  parser_.ints[2] = -5;
  ExpectResults(parser_, {{"STR(b)", "S:-42"},
                          {"STR(b, 5)", "S:-0042"},
                          {"STR(c)", "S:-5"},
                          {"STR(c, 3)", "S:-05"},
                          {"STR(c, 1)", "S:-"}});
  // Widths are capped, so a text cannot make one evaluation allocate without bound.
  EXPECT_EQ(parser_.Evaluate("STR(1, 100000)").size(), 2 + 255);
  EXPECT_EQ(parser_.Evaluate("STR(1.5, 100000, 100000)").size(), 2 + 255);
}

TEST_F(Vocabulary, DtosSubstrAndCase) {
  ExpectResults(parser_, {
                             {"DTOS(when)", "S:20230315"},
                             {"SUBSTR('abcdef', 2, 3)", "S:bcd"},
                             {"SUBSTR('abc', 2, 3)", "S:"},
                             {"SUBSTR('abc', 3, 1)", "S:c"},
                             {"SUBSTR('abc', 4, 0)", "S:"},
                             {"SUBSTR('abc', 0, 2)", "S:"},
                             {"SUBSTR('abc', 2, 2147483647)", "S:"},
                             {"SUBSTR(s, a, 2)", "S:ll"},
                             {"UPPER('stra\xDF"
                              "e \xE4\xF6 x')",
                              "S:STRA\xDF"
                              "E \xE4\xF6 X"},
                             {"LOWER('ABC \xC4')", "S:abc \xC4"},
                             {"UPPERCASE(s)", "S:HELLO"},
                             {"lowercase(s)", "S:hello"},
                             {"Upper(s) + lower(s)", "S:HELLOhello"},
                         });
  parser_.when = 0;  // an empty date reads as 0
  ExpectResults(parser_, {{"DTOS(when)", "S:18991230"}});
}

// ---- field binding ----

namespace {

using testing_util::DbfBuilder;
using testing_util::FieldSpec;
using testing_util::TempDir;

// Two tables: a dBASE III table in code page 850 with the text kinds, and a dBASE 7 table with
// the binary kinds. Numbers without decimals are read as integers (no float fields).
class FieldBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::Settings();
    platform::TPlatformSettings settings = saved_;
    settings.UserLCID = 0x0407;
    settings.AnsiCodePage = 1252;
    platform::SetSettings(settings);

    DbfBuilder(0x03,
               {{"NAME", 'C', 10},
                {"CITY", 'C', 20},
                {"AMOUNT", 'N', 10, 2},
                {"QTY", 'N', 4},
                {"COUNT", 'N', 9},
                {"TOTAL", 'N', 18},
                {"FLAG", 'L', 1},
                {"BOOKED", 'D', 8},
                {"NOTES", 'M', 10}},
               0x10)
        .Record({"OAK", "M\x81nchen", "1234.50", "-5", "123456789", "9007199254740993", "T",
                 "20240229", ""})
        .Record({"AB", "Berlin", "", "", "", "", "F", "", ""})
        .Write(dir_.File("text.dbf"));
    testing_util::WriteBytes(dir_.File("text.dbt"), std::vector<uint8_t>(512, 0));  // NOTES
    DbfBuilder(0x04, {{"ID", 'I', 4}, {"SEQ", '+', 4}, {"STAMP", '@', 8}, {"RATE", 'O', 8}})
        .Record({testing_util::OrderedInt(-7), testing_util::OrderedInt(12),
                 testing_util::TimeStampBytes((739000.0 * 86400000.0) + 43200000.0),
                 testing_util::OrderedDouble(-0.25)})
        .Record({std::string(4, '\0'), std::string(4, '\0'), std::string(8, '\0'),
                 std::string(8, '\0')})
        .Write(dir_.File("binary.dbf"));
    text_ = Open("text.dbf");
    binary_ = Open("binary.dbf");
  }
  void TearDown() override { platform::SetSettings(saved_); }

  std::unique_ptr<TDbfFile> Open(const std::string& name) {
    auto table = std::make_unique<TDbfFile>(dir_.File(name));
    table->SetUseFloatFields(false);
    table->Open();
    return table;
  }
  std::vector<uint8_t> Record(TDbfFile& table, int32_t recNo) {
    std::vector<uint8_t> record(size_t(table.GetRecordSize()));
    EXPECT_EQ(table.ReadRecord(recNo, record.data()), table.GetRecordSize());
    return record;
  }
  // Compiles on `table` and evaluates record `recNo`, as "<kind>:<value>".
  std::string Evaluate(TDbfParser& parser, TDbfFile& table, const std::string& text,
                       int32_t recNo) {
    parser.SetDbfFile(&table);
    parser.Compile(text);
    const std::vector<uint8_t> record = Record(table, recNo);
    return TTestParser::Format(parser.ResultType(), parser.EvaluateRecord(record.data()));
  }
  std::string CompileError(TDbfParser& parser, const std::string& text) {
    try {
      parser.Compile(text);
    } catch (const std::exception& error) {
      return error.what();
    }
    return "compiled";
  }

  TempDir dir_;
  platform::TPlatformSettings saved_;
  std::unique_ptr<TDbfFile> text_;
  std::unique_ptr<TDbfFile> binary_;
};

}  // namespace

TEST_F(FieldBinding, EveryFieldKindOnARecordWithValuesAndOnAnEmptyOne) {
  struct Case {
    const char* text;
    const char* first;   // record 1
    const char* second;  // record 2: no values
  } const kTextTable[] = {
      {"AMOUNT", "F:1234.5", "F:0"},
      {"AMOUNT + 1", "F:1235.5", "F:1"},
      {"QTY", "I:-5", "I:0"},  // a smallint keeps its sign
      {"QTY + 1", "I:-4", "I:1"},
      {"COUNT + 1", "I:123456790", "I:1"},
      {"TOTAL", "L:9007199254740993", "L:0"},
      {"TOTAL + 1", "L:9007199254740994", "L:1"},
      {"FLAG = 'T'", "B:T", "B:F"},
      {"BOOKED", "D:45351", "D:0"},
      {"DTOS(BOOKED)", "S:20240229", "S:18991230"},
      {"STR(AMOUNT, 8, 1) + STR(QTY, 3)", "S:  1234.5-05", "S:     0.0000"},
      {"Name = 'oak' OR AMOUNT > 1000", "B:T", "B:F"},
  };
  TDbfParser parser;
  for (const auto& c : kTextTable) {
    EXPECT_EQ(Evaluate(parser, *text_, c.text, 1), c.first) << c.text;
    EXPECT_EQ(Evaluate(parser, *text_, c.text, 2), c.second) << c.text;
  }
  const Case kBinaryTable[] = {
      {"ID", "I:-7", "I:0"},
      {"SEQ + ID", "I:5", "I:0"},
      {"RATE", "F:-0.25", "F:0"},
      {"STAMP", "D:45406.5", "D:0"},  // day number 739000 (24 April 2024), noon
      {"DTOS(STAMP)", "S:20240424", "S:18991230"},
  };
  for (const auto& c : kBinaryTable) {
    EXPECT_EQ(Evaluate(parser, *binary_, c.text, 1), c.first) << c.text;
    EXPECT_EQ(Evaluate(parser, *binary_, c.text, 2), c.second) << c.text;
  }
}

TEST_F(FieldBinding, ASingleRawFieldPointsIntoTheRecord) {
  TDbfParser parser(text_.get());
  parser.Compile("name");
  EXPECT_EQ(parser.ResultType(), rkString);
  EXPECT_EQ(parser.ResultLength(), 10);
  EXPECT_EQ(parser.ExpressionText(), "name");
  EXPECT_FALSE(parser.IsCompiled());  // no chain: the field variable is the value
  const std::vector<uint8_t> record = Record(*text_, 1);
  EXPECT_EQ(parser.EvaluateRecord(record.data()), reinterpret_cast<const char*>(record.data()) + 1);

  parser.Compile("AMOUNT");
  EXPECT_EQ(parser.ResultType(), rkFloat);
  EXPECT_EQ(parser.ResultLength(), 8);
  parser.Compile("FLAG");
  EXPECT_EQ(parser.ResultType(), rkString);
  EXPECT_EQ(parser.ResultLength(), 1);
}

TEST_F(FieldBinding, RawAndTranslatedTextWithAndWithoutCase) {
  struct Case {
    bool raw;
    bool ignoreCase;
    const char* text;
    const char* result;
  } const kCases[] = {
      {true, true, "NAME = 'oak'", "B:F"},  // the raw value keeps its blanks
      {true, true, "NAME = 'OAK       '", "B:T"},
      {false, true, "NAME = 'oak'", "B:T"},
      {false, false, "NAME = 'oak'", "B:F"},
      {false, false, "NAME = 'OAK'", "B:T"},
      {true, true, "NAME + 'X'", "S:OAK       X"},
      {false, true, "NAME + 'X'", "S:OAKX"},        // the copy's NUL ends what readers see
      {false, true, "CITY = 'M\xFCnchen'", "B:T"},  // 850 in the file, 1252 in the text
      {true, true, "CITY = 'M\xFCnchen'", "B:F"},
      {false, true, "UPPER(CITY)", "S:M\xFCNCHEN"},
      {false, true, "NAME + CITY", "S:OAKM\xFCnchen"},
      {false, true, "CITY", "S:M\xFCnchen"},
  };
  for (const auto& c : kCases) {
    TDbfParser parser;
    parser.SetRawStringFields(c.raw);
    parser.SetCaseInsensitive(c.ignoreCase);
    EXPECT_EQ(Evaluate(parser, *text_, c.text, 1), c.result)
        << c.text << " raw=" << c.raw << " ignoreCase=" << c.ignoreCase;
  }
  // An all-blank field reads as one blank when translated.
  TDbfParser parser;
  parser.SetRawStringFields(false);
  DbfBuilder(0x03, {{"NAME", 'C', 5}}, 0x03).Record({""}).Write(dir_.File("blank.dbf"));
  auto blank = Open("blank.dbf");
  EXPECT_EQ(Evaluate(parser, *blank, "NAME + '|'", 1), "S: |");
}

TEST_F(FieldBinding, ResultLengthIsMeasuredOnAnEmptyRecord) {
  TDbfParser parser(text_.get());
  struct Case {
    const char* text;
    int32_t length;
  } const kCases[] = {
      {"UPPER(NAME)", 10}, {"STR(AMOUNT)", 1}, {"NAME + CITY", 30},
      {"DTOS(BOOKED)", 8}, {"QTY = 1", 1},     {"QTY + 1", 4},
      {"AMOUNT + 1", 8},   {"BOOKED", 8},      {"SUBSTR(NAME, 2, 3)", 3},
  };
  for (const auto& c : kCases) {
    parser.Compile(c.text);
    EXPECT_EQ(parser.ResultLength(), c.length) << c.text;
    EXPECT_EQ(parser.ExpressionText(), c.text);
  }

  EXPECT_EQ(CompileError(parser, "CITY + CITY + CITY + CITY + CITY + CITY"),
            "Index result for \"CITY + CITY + CITY + CITY + CITY + CITY\" too long, >100 "
            "characters (120).");
  EXPECT_EQ(parser.ExpressionText(), "");
  parser.Compile("CITY + CITY + CITY + CITY + CITY");
  EXPECT_EQ(parser.ResultLength(), 100);
}

TEST_F(FieldBinding, NamesThatAreNoUsableFields) {
  TDbfParser parser(text_.get());
  EXPECT_EQ(CompileError(parser, "NOTES"),
            "Field \"NOTES\" is an invalid field type to base index on.");
  EXPECT_EQ(CompileError(parser, "UPPER(NOTES)"),
            "Field \"NOTES\" is an invalid field type to base index on.");
  EXPECT_EQ(CompileError(parser, "NAMEX = 'a'"), "Index based on unknown field \"NAMEX\".");
  EXPECT_EQ(CompileError(parser, "QTY - COUNT"), "Index based on unknown field \"-\".");
  EXPECT_EQ(CompileError(parser, "QTY <> COUNT"), "Index based on unknown field \"<>\".");
  EXPECT_EQ(parser.ExpressionText(), "");
  EXPECT_EQ(parser.ResultType(), rkUnknown);
  EXPECT_THROW(parser.EvaluateRecord(Record(*text_, 1).data()), platform::EParserException);
  parser.Compile("NAME");
  EXPECT_EQ(CompileError(parser, "NOTES"),
            "Field \"NOTES\" is an invalid field type to base index on.");
  EXPECT_EQ(parser.ResultType(), rkUnknown);  // not the kind of the field bound before

  // Variables of an earlier expression are gone after the next Compile.
  parser.Compile("QTY + 1");
  parser.Compile("COUNT + 1");
  const std::vector<uint8_t> record = Record(*text_, 1);
  EXPECT_EQ(TTestParser::Format(parser.ResultType(), parser.EvaluateRecord(record.data())),
            "I:123456790");
}
