#include "dbf/dbf_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "expr_test_parser.h"
#include "platform/exceptions.h"
#include "platform/settings.h"

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
