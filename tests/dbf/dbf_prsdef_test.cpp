#include "dbf/dbf_prsdef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/exceptions.h"
#include "platform/settings.h"

using namespace dbf;

TEST(ExprWords, KindOfLetter) {
  EXPECT_EQ(KindOfLetter('B'), rkBoolean);
  EXPECT_EQ(KindOfLetter('I'), rkInteger);
  EXPECT_EQ(KindOfLetter('L'), rkLargeInt);
  EXPECT_EQ(KindOfLetter('F'), rkFloat);
  EXPECT_EQ(KindOfLetter('D'), rkDateTime);
  EXPECT_EQ(KindOfLetter('S'), rkString);
  EXPECT_EQ(KindOfLetter('s'), rkUnknown);
  EXPECT_EQ(KindOfLetter('X'), rkUnknown);
}

TEST(ExprWords, StringConstantStripsOnePairOfEqualQuotes) {
  struct Case {
    const char* text;
    const char* value;
  } const kCases
      [] =
          {
              {"'abc'", "abc"}, {"\"abc\"", "abc"}, {"'abc\"", "'abc\""}, {"'", ""},
              {"", ""},         {"''", ""},         {"'it''s'", "it''s"}, {"abc", "abc"},
              {"'ABC'", "ABC"},  // the value keeps its case; only the name is lower-cased
          };
  for (const auto& c : kCases) {
    TStringConstant constant(c.text);
    EXPECT_EQ(constant.StringValue(), c.value) << c.text;
    EXPECT_STREQ(constant.ValueAddress(), c.value) << c.text;
  }
  EXPECT_EQ(TStringConstant("'ABC'").Name(), "'abc'");
}

TEST(ExprWords, FloatConstantReadsTheLocaleDecimalSeparator) {
  const platform::TPlatformSettings saved = platform::Settings();
  platform::TPlatformSettings german = saved;
  german.DecimalSeparator = ',';
  platform::SetSettings(german);
  double value = 0;
  std::memcpy(&value, TFloatConstant("x", "1,5").ValueAddress(), sizeof value);
  EXPECT_EQ(value, 1.5);
  std::memcpy(&value, TFloatConstant("x", "").ValueAddress(), sizeof value);
  EXPECT_EQ(value, 0.0);
  EXPECT_THROW(TFloatConstant("x", "1.5"), platform::EConvertError);
  platform::SetSettings(saved);
}

TEST(ExprWords, FunctionArgumentBounds) {
  auto function = TFunction::CreateFunction("F", "", "FII", 1, rkString, nullptr);
  EXPECT_EQ(function->Name(), "f");
  EXPECT_EQ(function->MinArgCount(), 1);
  EXPECT_EQ(function->MaxFunctionArg(), 3);
  EXPECT_FALSE(function->IsOperatorWord());
  auto all = TFunction::CreateFunction("G", "", "SS", -1, rkString, nullptr);
  EXPECT_EQ(all->MinArgCount(), 2);
  auto op = TFunction::CreateOperator("=", "SS", rkBoolean, nullptr, 80);
  EXPECT_EQ(op->MinArgCount(), 2);
  EXPECT_EQ(op->MaxFunctionArg(), 2);
  EXPECT_TRUE(op->IsOperatorWord());
  EXPECT_EQ(op->Precedence(), 80);

  try {
    TFunction::CreateFunction("H", "", "SSSSSSS", 1, rkString, nullptr);
    FAIL() << "seven argument letters accepted";
  } catch (const platform::EParserException& error) {
    EXPECT_STREQ(error.what(), "Too many arguments");
  }
}

TEST(ExprWords, ValueWordsAreConstantsAndVariables) {
  double number = 0;
  int32_t integer = 0;
  const char* text = nullptr;
  EXPECT_TRUE(IsValueWord(std::make_unique<TIntegerConstant>(5).get()));
  EXPECT_TRUE(IsValueWord(std::make_unique<TBooleanConstant>("", true).get()));
  EXPECT_TRUE(IsValueWord(std::make_unique<TFloatVariable>("n", &number).get()));
  EXPECT_TRUE(IsValueWord(std::make_unique<TIntegerVariable>("i", &integer).get()));
  EXPECT_TRUE(IsValueWord(std::make_unique<TStringVariable>("t", 3, &text).get()));
  EXPECT_FALSE(IsValueWord(std::make_unique<TLeftBracket>("(", nullptr).get()));
  EXPECT_FALSE(IsValueWord(TFunction::CreateOperator("+", "SS", rkString, nullptr, 40).get()));
}

TEST(ExprWords, FixedLengthStringVariableNeverReadsPastItsLength) {
  const char bytes[3] = {'a', 'b', 'c'};  // no NUL
  const char* text = bytes;
  TStringVariable variable("t", 3, &text);
  EXPECT_EQ(variable.StringValue(), "abc");
  EXPECT_TRUE(variable.IsVarying());
  EXPECT_EQ(*variable.FixedLengthAddress(), 3);
  const char* null = nullptr;
  EXPECT_EQ(TStringVariable("u", -1, &null).StringValue(), "");
}

TEST(ExprWords, ExpressListFindsNamesWithoutRegardToAsciiCase) {
  TExpressList list;
  list.InsertSorted(TFunction::CreateOperator("and", "BB", rkBoolean, nullptr, 90).release());
  list.InsertSorted(TFunction::CreateOperator("Or", "BB", rkBoolean, nullptr, 100).release());
  int32_t index = -1;
  ASSERT_TRUE(list.SearchSorted("AND", index));
  EXPECT_EQ(list[index]->Name(), "and");
  EXPECT_TRUE(list.SearchSorted("oR", index));
  EXPECT_FALSE(list.SearchSorted("an", index));

  EXPECT_LT(CompareWordNames("ab", "abc"), 0);     // a prefix sorts first
  EXPECT_LT(CompareWordNames("z", "_"), 0);        // 'z' folds to 'Z' (0x5A), before '_' (0x5F)
  EXPECT_GT(CompareWordNames("\xE4", "z"), 0);     // bytes compare unsigned
  EXPECT_NE(CompareWordNames("\xE4", "\xC4"), 0);  // no folding beyond ASCII
}

TEST(ExprWords, DynamicTypeGrowsInStepsOf32AndKeepsThePosition) {
  char* buffer = NewExprBuffer(32);
  char* position = buffer;
  int32_t size = 32;
  TDynamicType writer(&buffer, &position, &size);

  const std::string thirty(30, 'x');
  writer.AppendBytes(thirty.data(), 30);
  EXPECT_EQ(size, 64);  // 30 + 4 exceeds 32
  EXPECT_EQ(position - buffer, 30);
  EXPECT_EQ(std::string(buffer), thirty);  // NUL after the text

  writer.Resize(64);
  EXPECT_EQ(size, 96);
  EXPECT_EQ(position - buffer, 30);
  EXPECT_EQ(std::string(buffer), thirty);

  writer.EnsureRoom(66);  // exactly fits: no growth
  EXPECT_EQ(size, 96);
  writer.EnsureRoom(67);
  EXPECT_EQ(size, 128);
  delete[] buffer;
}
