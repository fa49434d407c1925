#include "dbf/dbf_prscore.h"

#include <gtest/gtest.h>

#include <string>

#include "expr_test_parser.h"
#include "platform/exceptions.h"
#include "platform/settings.h"

using namespace dbf;
using expr_test::TTestParser;

namespace {

// The message of the EParserException compiling `text` raises, or what went wrong instead.
std::string CompileError(TTestParser& parser, const std::string& text) {
  parser.ClearCompiled();
  try {
    parser.CompileText(text);
  } catch (const platform::EParserException& error) {
    EXPECT_FALSE(parser.IsCompiled()) << text;
    return error.what();
  } catch (const std::exception& error) {
    return std::string("other exception: ") + error.what();
  }
  return "compiled";
}

}  // namespace

// The chain lists the words in evaluation order, so it shows how the text was grouped.
TEST(ParserCore, PrecedenceGroupingAndNotRuns) {
  struct Case {
    const char* text;
    const char* chain;
  } const kCases[] = {
      {"a + b + c", "a b + c +"},
      {"a + (b + c)", "a b c + +"},
      {"(a + b) + (c + d)", "a b + c d + +"},
      {"((a))", "a"},
      {"a = b AND c = d", "a b = c d = and"},
      {"a = 1 OR b = 1 AND c = 1", "a 1 = b 1 = c 1 = and or"},
      {"a = b AND c = d OR a = c", "a b = c d = and a c = or"},
      {"NOT a = b", "a b = not"},
      {"NOT NOT a = b", "a b ="},
      {"NOT NOT NOT a = b", "a b = not"},
      {"a = b AND NOT NOT c = d", "a b = c d = and"},
      {"a = b AND (NOT c = d)", "a b = c d = not and"},
      {"NOT a = b AND c = d", "a b = not c d = and"},
      {"a + b = c AND d = 1", "a b + c = d 1 = and"},
      {"STR(a + b, 5)", "a b + 5 str"},
      {"SUBSTR(s, a, (b + c)) = t", "s a b c + substr t ="},
      {"UPPER(s) + t", "s upper t"},  // the concatenation itself has no record
      {"  a\t+\tb  ", "a b +"},
      {"A + B", "a b +"},
  };
  TTestParser parser;
  for (const auto& c : kCases) {
    parser.ClearCompiled();
    parser.CompileText(c.text);
    EXPECT_EQ(parser.Chain(), c.chain) << c.text;
  }
}

TEST(ParserCore, SyntaxAndArgumentErrors) {
  struct Case {
    const char* text;
    const char* message;
  } const kCases[] = {
      {"(a", "Unequal brackets"},
      {")a(", "Missing operator between ) and constant/variable"},
      {"()", "Empty brackets ()"},
      {"a + (", "Unequal brackets"},
      {"(a)(b)", "Missing operator between )("},
      {"(a) b", "Missing operator between ) and constant/variable"},
      {"a (b)", "Missing operator between constant/variable and ("},
      {"'AB' 'cd'", "Missing operator between ''ab'' and ''cd''"},
      {"$1F 2", "Missing operator between '31' and '2'"},
      {"a b", "Missing operator between 'a' and 'b'"},
      // Overloads are tried newest first; the oldest one's complaint is reported.
      {"s +", "Function or operand has too few arguments"},
      {"a +", "Argument type mismatch"},
      {"s = NOT t", "Function or operand has too few arguments"},
      {"SUBSTR(s, 1)", "Function or operand has too few arguments"},
      {"STR(s)", "Argument type mismatch"},
      {"STR(big)", "Argument type mismatch"},
      {"STR(when)", "Argument type mismatch"},
      {"a + s", "Argument type mismatch"},
      {"UPPER(s, t)", "Function or operand has too many arguments"},
      {"STR(a, a, a, a, a, a, a)", "Function or operand has too many arguments"},
      {"STR(a) STR(b)", "Argument type mismatch"},  // STR(STR(a), b)
      {"zz = 1", "Unknown variable 'zz' found."},
      {"a <> b", "Unknown variable '<>' found."},
      {"a - b", "Unknown variable '-' found."},
      // Cases the language leaves open get messages of their own.
      {"STR(a, , b)", "Missing argument"},
      {"STR(a,)", "Missing argument"},
      {"UPPER s", "Missing ( after function 'upper'"},
      {"s UPPER(t)", "Missing operator between 's' and 'upper'"},
      {"a = b AND NOT NOT", "Operand missing after NOT"},
      {"NOT NOT", "Operand missing after NOT"},
      {",", "Expression has no value"},
      {"   ", "Operand/function missing"},
      {"a , b", "Operand/function missing"},
  };
  TTestParser parser;
  for (const auto& c : kCases) EXPECT_EQ(CompileError(parser, c.text), c.message) << c.text;
}

TEST(ParserCore, EmptyTextCompilesNothing) {
  TTestParser parser;
  parser.CompileText("");
  EXPECT_FALSE(parser.IsCompiled());
  EXPECT_EQ(parser.GetResultType(), rkUnknown);
}

TEST(ParserCore, NumberAndTextLiterals) {
  const platform::TPlatformSettings saved = platform::Settings();
  platform::TPlatformSettings german = saved;
  german.DecimalSeparator = ',';  // number tokens use '.' whatever the locale
  platform::SetSettings(german);
  struct Case {
    const char* text;
    const char* result;
  } const kCases[] = {
      {"$1F", "I:31"},      {"$ff + 1", "I:256"}, {"1.5", "F:1.5"},     {"2.5e2", "F:250"},
      {"1.5e-1", "F:0.15"}, {".5", "F:0.5"},      {"7", "I:7"},         {"'abc'", "S:abc"},
      {"\"abc\"", "S:abc"}, {"'abc", "S:'abc"},   {"'a\"b'", "S:a\"b"}, {"'x' + 'y'", "S:xy"},
  };
  TTestParser parser;
  for (const auto& c : kCases) EXPECT_EQ(parser.Evaluate(c.text), c.result) << c.text;
  for (const char* bad : {"1e5", "99999999999", "$FFFFFFFFF", "."})
    EXPECT_THROW(parser.Evaluate(bad), platform::EConvertError) << bad;
  platform::SetSettings(saved);
}

TEST(ParserCore, ConstantPartsFoldAndGiveTheSameValue) {
  TTestParser folding;
  folding.CompileText("'ab' + 'cd'");
  EXPECT_EQ(folding.Chain(), "#abcd");
  folding.ClearCompiled();
  folding.CompileText("1.5 = 1.5");
  EXPECT_EQ(folding.Chain(), "#T");
  folding.ClearCompiled();
  folding.CompileText("a + (1 + 2)");
  EXPECT_EQ(folding.Chain(), "a 3 +");

  const char* const kTexts[] = {
      "'ab' + 'cd' + s",
      "STR(2.5, 6, 1) + s",
      "a + 1 + 2",
      "1.5 + 2 = x",
      "NOT 1 = 2 AND a = 3",
      "UPPER('mixed Case') + SUBSTR(s, 2, 2)",
      "STR(42, 5, 2) = STR(a)",
      "big + 2 + 3",
      "DTOS(when) + 'x'",
  };
  TTestParser plain(false);
  for (TTestParser* parser : {&folding, &plain}) {
    parser->ints[0] = 3;
    parser->x = 3.5;
    parser->s = "hello";
    parser->big = 1;
    parser->when = 45000;
  }
  for (const char* text : kTexts) {
    const std::string unfolded = plain.Evaluate(text);
    EXPECT_EQ(folding.Evaluate(text), unfolded) << text;
    EXPECT_LE(folding.ChainLength(), plain.ChainLength()) << text;
  }
}

TEST(ParserCore, CompilingAgainDoesNotPileUpConstants) {
  TTestParser parser;
  for (int round = 0; round < 100; ++round) {
    parser.ints[0] = round % 3;
    EXPECT_EQ(parser.Evaluate("a = 1 OR a = 2 AND 'x' + 'y' = 'xy'"),
              round % 3 != 0 ? "B:T" : "B:F");
    EXPECT_LE(parser.ConstantCount(), 6);
  }
  parser.ClearCompiled();
  EXPECT_EQ(parser.ConstantCount(), 0);
}

TEST(ParserCore, EvaluatingAgainRewritesTheResult) {
  TTestParser parser;
  parser.s = "abc";
  parser.CompileText("s + 'x' + UPPER(s)");
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(), "S:abcxABC");
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(), "S:abcxABC");
  parser.s = "a much longer text that outgrows the first buffers";
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(),
            "S:a much longer text that outgrows the first buffersxA MUCH LONGER TEXT THAT "
            "OUTGROWS THE FIRST BUFFERS");
  parser.s = "z";
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(), "S:zxZ");
}

TEST(ParserCore, FixedLengthTextKeepsBlanksAndEmbeddedNuls) {
  TTestParser parser;
  const char bytes[] = {'a', 'b', ' ', ' ', ' ', 'Z'};
  parser.fixed = bytes;
  EXPECT_EQ(parser.Evaluate("fixed + '|'"), "S:ab   |");
  const char withNul[] = {'o', 'a', 'k', '\0', 'x'};
  parser.fixed = withNul;
  parser.CompileText("fixed = 'OAK'");  // functions and comparisons read up to the NUL
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(), "B:T");
}

TEST(ParserCore, ReplacingAVariableRedirectsTheChain) {
  TTestParser parser;
  double other = 10;
  parser.x = 1;
  parser.CompileText("x + 1");
  parser.DefineFloatVariable("x", &other);
  parser.RunChain();
  EXPECT_EQ(parser.ResultText(), "F:11");

  int32_t wrongKind = 0;
  EXPECT_THROW(parser.DefineIntegerVariable("x", &wrongKind), platform::Exception);
  try {
    parser.AddOrReplaceWord(TFunction::CreateFunction("x", "", "S", 1, rkFloat, nullptr));
    FAIL() << "a function replaced a variable";
  } catch (const platform::Exception& error) {
    EXPECT_STREQ(error.what(), "Cannot replace variable/function MaxFunctionArg doesn't match");
  }
  try {
    parser.RemoveOrReplaceWord("x", nullptr);
    FAIL() << "a variable removed under a compiled expression";
  } catch (const platform::Exception& error) {
    EXPECT_STREQ(error.what(), "Cannot undefine function/variable while expression present");
  }
  parser.ClearCompiled();
  parser.RemoveOrReplaceWord("X", nullptr);
  parser.ResolveUnknownName("x");  // defines it afresh on demand
  parser.x = 2;
  EXPECT_EQ(parser.Evaluate("x + 1"), "F:3");
}

// Hostile texts end in a result or an error, never in a crash or an exhausted stack.
TEST(ParserCore, HostileTextsGiveAnErrorOrAResult) {
  TTestParser parser;
  const std::string deepBrackets = std::string(100000, '(') + "a" + std::string(100000, ')');
  EXPECT_EQ(parser.Evaluate(deepBrackets), "I:0");

  std::string nested = "a";
  for (int i = 0; i < 990; ++i) nested = "1 + (" + nested + ")";
  EXPECT_EQ(parser.Evaluate(nested), "I:990");  // just below the depth bound: compiles
  for (int i = 0; i < 5000; ++i) nested = "a + (" + nested + ")";
  EXPECT_EQ(CompileError(parser, nested), "Expression too complex");

  std::string chain = "a";
  for (int i = 0; i < 20000; ++i) chain += " + a";
  EXPECT_EQ(CompileError(parser, chain), "Expression too complex");
  std::string longChain = "a";
  for (int i = 0; i < 500; ++i) longChain += " + 1";
  EXPECT_EQ(parser.Evaluate(longChain), "I:500");

  std::string calls = "s";
  for (int i = 0; i < 3000; ++i) calls = "UPPER(" + calls + ")";
  EXPECT_EQ(CompileError(parser, calls), "Expression too complex");

  std::string nots;
  for (int i = 0; i < 100001; ++i) nots += "NOT ";
  EXPECT_EQ(parser.Evaluate(nots + "a = 1"), "B:T");

  const std::string hugeText(1 << 20, 'q');
  EXPECT_EQ(parser.Evaluate("'" + hugeText + "' + 'r'").size(), hugeText.size() + 3);
  EXPECT_THROW(parser.Evaluate(std::string(5000, '9')), platform::EConvertError);
  EXPECT_THROW(parser.Evaluate("1." + std::string(5000, '1')), platform::EConvertError);
}
