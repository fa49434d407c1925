// A TDbfParser for tests: names it does not know are test variables held by the parser instead
// of table fields, and it shows its compiled chain as the words' names in evaluation order.
//   a b c d: int32   x y: double   big: int64   when: date-time
//   s t: NUL-terminated text   fixed: text of exactly 5 bytes
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "dbf/dbf_parser.h"
#include "platform/format.h"

namespace expr_test {

class TTestParser : public dbf::TDbfParser {
 public:
  explicit TTestParser(bool foldConstants = true) { FFoldConstants = foldConstants; }

  void ResolveUnknownName(const std::string& name) override {
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'd')
      return DefineIntegerVariable(name, &ints[name[0] - 'a']);
    if (name == "x") return DefineFloatVariable(name, &x);
    if (name == "y") return DefineFloatVariable(name, &y);
    if (name == "big") return DefineLargeIntVariable(name, &big);
    if (name == "when") return DefineDateTimeVariable(name, &when);
    if (name == "s") return DefineStringVariable(name, &s, -1);
    if (name == "t") return DefineStringVariable(name, &t, -1);
    if (name == "fixed") return DefineStringVariable(name, &fixed, 5);
  }

  // Names of the chain's words, blank-separated; a folded constant shows as #value.
  std::string Chain() const {
    std::string text;
    for (const dbf::TExprRecord* rec = FFirstRec; rec != nullptr; rec = rec->NextRec) {
      if (!text.empty()) text += ' ';
      text += rec->Word->Name().empty() ? "#" + ValueText(rec->Word) : rec->Word->Name();
    }
    return text;
  }
  int ConstantCount() const { return FConstants.Count(); }
  int ChainLength() const {
    int count = 0;
    for (const dbf::TExprRecord* rec = FFirstRec; rec != nullptr; rec = rec->NextRec) ++count;
    return count;
  }

  // The result of the last RunChain as "<kind letter>:<value>".
  std::string ResultText() const { return Format(GetResultType(), ResultBuffer()); }

  // Clears, compiles, evaluates once.
  std::string Evaluate(std::string_view text) {
    ClearCompiled();
    CompileText(text);
    RunChain();
    return ResultText();
  }

  static std::string Format(dbf::TExprResultKind kind, const char* value) {
    auto read = [&](auto sample) {
      std::memcpy(&sample, value, sizeof sample);
      return sample;
    };
    switch (kind) {
      case dbf::rkBoolean:
        return std::string("B:") + (value[0] ? "T" : "F");
      case dbf::rkInteger:
        return "I:" + std::to_string(read(int32_t()));
      case dbf::rkLargeInt:
        return "L:" + std::to_string(read(int64_t()));
      case dbf::rkFloat:
        return "F:" + platform::FloatToStr(read(double()), '.');
      case dbf::rkDateTime:
        return "D:" + platform::FloatToStr(read(double()), '.');
      case dbf::rkString:
        return "S:" + std::string(value);
      default:
        return "?";
    }
  }

  int32_t ints[4] = {};
  double x = 0, y = 0;
  int64_t big = 0;
  double when = 0;
  const char* s = "";
  const char* t = "";
  const char* fixed = "     ";

 private:
  static std::string ValueText(dbf::TExprWord* word) {
    const std::string text = Format(word->ResultType(), word->ValueAddress());
    return text.substr(2);
  }
};

}  // namespace expr_test
