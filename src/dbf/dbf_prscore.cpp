#include "dbf/dbf_prscore.h"

#include <algorithm>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace dbf {
namespace {

using platform::EParserException;

bool IsLeftBracket(const TExprWord* word) {
  return word->ResultType() == rkLeftBracket;
}
bool IsRightBracket(const TExprWord* word) {
  return word->ResultType() == rkRightBracket;
}
bool IsComma(const TExprWord* word) {
  return word->ResultType() == rkComma;
}
bool IsNotWord(const TExprWord* word) {
  return word->Name() == "not";
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexLetter(char c) {
  return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool IsNameChar(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimBlanksAndControls(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

int32_t IntegerOfText(std::string_view text) {
  int64_t value = 0;
  if (!platform::TryStrToInt64(text, value) || value < INT32_MIN || value > INT32_MAX)
    throw platform::EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return static_cast<int32_t>(value);
}

int32_t PrecedenceOf(const TExprWord* word) {
  // Only functions and operators are function words.
  return static_cast<const TFunction*>(word)->Precedence();
}

// Position of the first function or operator outside brackets in [from, last), or `last`.
int32_t NextTopLevelFunction(const TExprCollection& list, int32_t from, int32_t last) {
  int32_t depth = 0;
  for (int32_t i = from; i < last; ++i) {
    const TExprWord* word = list[i];
    if (IsLeftBracket(word)) {
      ++depth;
    } else if (IsRightBracket(word)) {
      --depth;
    } else if (depth <= 0 && word->IsFunctionWord()) {
      return i;
    }
  }
  return last;
}

}  // namespace

TCustomExpressionParser::TCustomExpressionParser() {
  FResultBuf = NewExprBuffer(FResultSize);
  FResultPos = FResultBuf;
}

TCustomExpressionParser::~TCustomExpressionParser() {
  TCustomExpressionParser::ClearCompiled();
  delete[] FResultBuf;
}

TExprRecord* TCustomExpressionParser::NewRecord() {
  FRecords.push_back(std::make_unique<TExprRecord>());
  return FRecords.back().get();
}

TExprWord* TCustomExpressionParser::FindWord(std::string_view name) const {
  int32_t index = 0;
  return FVocabulary.SearchSorted(name, index) ? FVocabulary[index] : nullptr;
}

// ---- compiling ----

void TCustomExpressionParser::CompileText(std::string_view text) {
  if (text.empty()) return;
  const size_t recordsBefore = FRecords.size();
  try {
    TExprCollection list(10);
    Tokenize(text, list);
    CheckSyntax(list);
    int height = 0;
    TExprRecord* root = BuildTree(list, {0, list.Count()}, 0, height);
    FFirstRec = nullptr;
    CheckArgumentTypes(root);
    if (root->Word->ResultType() > rkString) throw EParserException("Expression has no value");
    if (FFoldConstants) root = FoldConstants(root);
    FFirstRec = nullptr;
    FLastRec = nullptr;
    FResultPos = FResultBuf;
    LinkChain(root, &FResultBuf, &FResultSize, &FResultPos);
  } catch (...) {
    FRecords.erase(FRecords.begin() + static_cast<std::ptrdiff_t>(recordsBefore), FRecords.end());
    FFirstRec = nullptr;
    FLastRec = nullptr;
    FResultPos = FResultBuf;
    throw;
  }
}

// ---- tokenizer ----

void TCustomExpressionParser::ReadNumber(std::string_view s, size_t& p, bool hex) const {
  const size_t n = s.size();
  while (p < n && (IsDigit(s[p]) || (hex && IsHexLetter(s[p])))) ++p;
  if (p < n && s[p] == FDecimalPoint) {
    ++p;
    while (p < n && IsDigit(s[p])) ++p;
  }
  if (p < n && s[p] == 'e') {
    ++p;
    if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
    while (p < n && IsDigit(s[p])) ++p;
  }
}

void TCustomExpressionParser::ReadToken(std::string_view s, size_t& p, size_t& start,
                                        bool& isConstant) const {
  const size_t n = s.size();
  isConstant = false;
  start = p;
  while (start < n && s[start] == ' ') ++start;
  p = start;
  if (start >= n) return;

  const char c = s[p];
  auto nextIs = [&](std::string_view chars) {
    return p + 1 < n && chars.find(s[p + 1]) != chars.npos;
  };
  if (c == FHexPrefix) {
    ++p;
    const size_t digits = p;
    ReadNumber(s, p, true);
    isConstant = p > digits;
    if (!isConstant)
      while (p < n && IsNameChar(s[p])) ++p;
  } else if (c == FDecimalPoint || IsDigit(c)) {
    ReadNumber(s, p, false);
    isConstant = true;
  } else if (c == '\'' || c == '"') {
    const size_t close = s.find(c, p + 1);
    p = close == s.npos ? n : close + 1;
    isConstant = true;
  } else if (IsNameChar(c)) {
    while (p < n && IsNameChar(s[p])) ++p;
  } else if (c == '<' || c == '>' || c == '=') {
    p += nextIs("<=>") ? 2 : 1;
  } else if (c == '&' || c == '|') {
    p += nextIs(std::string_view(&c, 1)) ? 2 : 1;
  } else if (c == ':' || c == '!') {
    p += nextIs("=") ? 2 : 1;
  } else if (c == '+' || c == '-') {
    const char twice[] = {c, c};
    p += nextIs(std::string_view(&c, 1)) && FindWord(std::string_view(twice, 2)) ? 2 : 1;
  } else {
    ++p;
  }
}

void TCustomExpressionParser::AddToken(TExprCollection& list, std::string_view token,
                                       bool isConstant) {
  if (isConstant) {
    std::string text(token);
    if (text[0] == FHexPrefix) {
      text[0] = '$';
      text = std::to_string(IntegerOfText(text));
    }
    std::unique_ptr<TExprWord> constant;
    if (text[0] == '\'' || text[0] == '"') {
      constant = std::make_unique<TStringConstant>(text);
    } else if (const size_t point = text.find(FDecimalPoint); point != text.npos) {
      text[point] = platform::Settings().DecimalSeparator;
      constant = std::make_unique<TFloatConstant>(text, text);
    } else {
      constant = std::make_unique<TIntegerConstant>(IntegerOfText(text));
    }
    list.Add(constant.get());
    FConstants.Add(constant.release());
    return;
  }
  if (token.empty()) return;
  TExprWord* word = FindWord(token);
  if (word == nullptr) {
    const std::string name(token);
    ResolveUnknownName(name);
    word = FindWord(token);
    if (word == nullptr) throw EParserException("Unknown variable '" + name + "' found.");
  }
  list.Add(word);
}

void TCustomExpressionParser::Tokenize(std::string_view text, TExprCollection& list) {
  const std::string_view s = TrimBlanksAndControls(text);
  size_t p = 0;
  do {
    size_t start = 0;
    bool isConstant = false;
    ReadToken(s, p, start, isConstant);
    const std::string_view token = TrimBlanksAndControls(s.substr(start, p - start));
    AddToken(list, token, isConstant && !token.empty());
  } while (p < s.size());
}

// ---- syntax pass ----

void TCustomExpressionParser::CheckSyntax(TExprCollection& list) {
  int32_t balance = 0;
  for (int32_t i = 0; i < list.Count(); ++i) {
    if (IsLeftBracket(list[i])) ++balance;
    if (IsRightBracket(list[i])) --balance;
  }
  if (balance != 0) throw EParserException("Unequal brackets");

  // One pass that writes the reduced list as it goes: `read` walks the original words, the
  // checks look back at what was kept and ahead at the words not yet examined.
  std::vector<TExprWord*> kept;
  kept.reserve(list.Count());
  const int32_t count = list.Count();
  for (int32_t read = 0; read < count; ++read) {
    const TExprWord* previous = kept.empty() ? nullptr : kept.back();
    if (IsNotWord(list[read]) &&
        (previous == nullptr || IsLeftBracket(previous) || previous->IsOperatorWord())) {
      int32_t run = 0;
      while (read + run < count && IsNotWord(list[read + run])) ++run;
      // An even run cancels out; an odd one is reduced to a single NOT.
      read += run % 2 == 0 ? run : run - 1;
      if (read >= count) throw EParserException("Operand missing after NOT");
    }
    TExprWord* word = list[read];
    const TExprWord* next = read + 1 < count ? list[read + 1] : nullptr;
    if (next != nullptr && IsValueWord(word) && IsValueWord(next))
      throw EParserException("Missing operator between '" + word->Name() + "' and '" +
                             next->Name() + "'");
    if (IsLeftBracket(word) && (next == nullptr || IsRightBracket(next)))
      throw EParserException("Empty brackets ()");
    if (IsRightBracket(word) && next != nullptr && IsLeftBracket(next))
      throw EParserException("Missing operator between )(");
    if (IsRightBracket(word) && next != nullptr && IsValueWord(next))
      throw EParserException("Missing operator between ) and constant/variable");
    if (IsLeftBracket(word) && previous != nullptr && IsValueWord(previous))
      throw EParserException("Missing operator between constant/variable and (");
    kept.push_back(word);
  }
  list.Clear();
  for (TExprWord* word : kept) list.Add(word);
}

// ---- tree ----

namespace {

// Narrows `range` while its first word is "(" and the bracket closing it is its last word.
// Linear: the bracket at offset i closes the range's last-but-i word when the depth there
// returns to i and never drops to i on the way.
void StripOuterBrackets(const TExprCollection& list, int32_t& first, int32_t& last) {
  const int32_t n = last - first;
  int32_t leading = 0;
  while (leading < n && IsLeftBracket(list[first + leading])) ++leading;
  if (leading == 0) return;

  std::vector<int32_t> depthAfter(n);
  std::vector<int32_t> minDepthFrom(n);  // min of depthAfter over [leading, j]
  int32_t depth = 0;
  for (int32_t j = 0; j < n; ++j) {
    const TExprWord* word = list[first + j];
    depth += IsLeftBracket(word) ? 1 : IsRightBracket(word) ? -1 : 0;
    depthAfter[j] = depth;
    minDepthFrom[j] = j <= leading ? depth : std::min(minDepthFrom[j - 1], depth);
  }
  int32_t strip = 0;
  for (int32_t i = 0; i < leading; ++i) {
    const int32_t close = n - 1 - i;
    if (close <= i || !IsRightBracket(list[first + close]) || depthAfter[close] != i) break;
    if (close - 1 >= leading && minDepthFrom[close - 1] <= i) break;
    strip = i + 1;
  }
  first += strip;
  last -= strip;
}

}  // namespace

TExprRecord* TCustomExpressionParser::BuildArgument(const TExprCollection& list, TWordRange range,
                                                    int level, int& height) {
  if (range.Length() == 0) throw EParserException("Missing argument");
  return BuildTree(list, range, level, height);
}

TExprRecord* TCustomExpressionParser::BuildTree(const TExprCollection& list, TWordRange range,
                                                int level, int& height) {
  if (level > kMaxDepth) throw EParserException("Expression too complex");
  StripOuterBrackets(list, range.First, range.Last);
  const int32_t end = range.Last;

  if (range.Length() == 1) {
    TExprRecord* rec = NewRecord();
    TExprWord* word = list[range.First];
    rec->Word = word;
    rec->Routine = word->Routine();
    if (IsValueWord(word)) {
      rec->Args[0] = word->ValueAddress();
      if (word->FixedLength() >= 0)
        rec->Args[1] = reinterpret_cast<char*>(word->FixedLengthAddress());
    }
    height = 1;
    return rec;
  }

  TExprRecord* last = nullptr;
  int lastHeight = 0;
  int32_t start = range.First;
  for (;;) {
    TExprRecord* rec = NewRecord();
    int position = 0;
    int childHeight = 0;
    if (last != nullptr) {
      rec->ArgRec[position++] = last;
      childHeight = lastHeight;
    }
    auto addArgument = [&](int32_t from, int32_t to) {
      if (position >= kMaxArgs)
        throw EParserException("Function or operand has too many arguments");
      int argHeight = 0;
      rec->ArgRec[position++] = BuildArgument(list, {from, to}, level + 1, argHeight);
      childHeight = std::max(childHeight, argHeight);
    };

    int32_t k = NextTopLevelFunction(list, start, end);
    if (k == end) throw EParserException("Operand/function missing");
    TExprWord* op = list[k];
    rec->Word = op;
    rec->Routine = op->Routine();

    if (!op->IsOperatorWord()) {
      // A function called by name: its bracketed, comma-separated arguments.
      if (k > start)
        throw EParserException("Missing operator between '" + list[k - 1]->Name() + "' and '" +
                               op->Name() + "'");
      int32_t j = k + 1;
      if (j >= end || !IsLeftBracket(list[j]))
        throw EParserException("Missing ( after function '" + op->Name() + "'");
      int32_t depth = 1;
      int32_t argStart = j + 1;
      while (j < end - 1 && depth != 0) {
        ++j;
        if (IsLeftBracket(list[j])) {
          ++depth;
        } else if (IsRightBracket(list[j])) {
          --depth;
        } else if (depth == 1 && IsComma(list[j])) {
          addArgument(argStart, j);
          argStart = j + 1;
        }
      }
      if (depth != 0) throw EParserException("Unequal brackets");
      addArgument(argStart, j);
      k = j;
    } else if (k > start) {
      addArgument(start, k);
    }

    // The right operand runs up to the next operator that binds no tighter than this one.
    const int32_t opPrecedence = PrecedenceOf(op);
    int32_t m = k;
    do {
      m = NextTopLevelFunction(list, m + 1, end);
    } while (m != end && PrecedenceOf(list[m]) < opPrecedence);
    if (m > k + 1) addArgument(k + 1, m);

    last = rec;
    lastHeight = childHeight + 1;
    if (level + lastHeight > kMaxDepth) throw EParserException("Expression too complex");
    start = m;
    if (m >= end) break;
  }
  height = lastHeight;
  return last;
}

// ---- argument types ----

void TCustomExpressionParser::CheckArgumentTypes(TExprRecord* rec) {
  bool checked[kMaxArgs] = {};
  for (;;) {
    const TExprWord* word = rec->Word;
    const std::string_view types = word->ArgTypes();
    const int32_t maxArgs = std::min<int32_t>(word->MaxFunctionArg(), kMaxArgs);
    int state = 0;
    int32_t i = 0;
    while (i < maxArgs && rec->ArgRec[i] != nullptr && state == 0) {
      // An argument's own check does not depend on its parent: run it once.
      if (!checked[i]) {
        CheckArgumentTypes(rec->ArgRec[i]);
        checked[i] = true;
      }
      if (KindOfLetter(types[i]) != rec->ArgRec[i]->Word->ResultType()) state = 2;
      ++i;
    }
    if (state == 0 && i < word->MinArgCount()) state = 1;
    if (state == 0 && i < kMaxArgs && rec->ArgRec[i] != nullptr) state = 3;
    if (state == 0) return;

    // Try the next older word of the same name.
    const int32_t index = FVocabulary.FindItem(word);
    if (index >= 0 && index + 1 < FVocabulary.Count() &&
        CompareWordNames(FVocabulary[index + 1]->Name(), word->Name()) == 0) {
      rec->Word = FVocabulary[index + 1];
      rec->Routine = rec->Word->Routine();
      continue;
    }
    switch (state) {
      case 1:
        throw EParserException("Function or operand has too few arguments");
      case 2:
        throw EParserException("Argument type mismatch");
      default:
        throw EParserException("Function or operand has too many arguments");
    }
  }
}

// ---- constant folding ----

namespace {

bool IsVaryingTree(const TExprRecord* rec) {
  if (rec->Word->IsVarying()) return true;
  for (const TExprRecord* arg : rec->ArgRec)
    if (arg != nullptr && IsVaryingTree(arg)) return true;
  return false;
}

}  // namespace

TExprRecord* TCustomExpressionParser::FoldConstants(TExprRecord* rec) {
  if (IsVaryingTree(rec)) {
    for (TExprRecord*& arg : rec->ArgRec)
      if (arg != nullptr) arg = FoldConstants(arg);
    return rec;
  }
  if (IsValueWord(rec->Word)) return rec;
  return FoldToConstant(rec);
}

TExprRecord* TCustomExpressionParser::FoldToConstant(TExprRecord* rec) {
  // There are no constant words for these kinds: such a part stays as it is.
  const TExprResultKind kind = rec->Word->ResultType();
  if (kind == rkLargeInt || kind == rkDateTime) return rec;

  FFirstRec = nullptr;
  FResultPos = FResultBuf;
  LinkChain(rec, &FResultBuf, &FResultSize, &FResultPos);
  if (FFirstRec == nullptr) throw EParserException("Expression has no value");
  RunChain();
  std::unique_ptr<TExprWord> constant;
  switch (ChainResultType()) {
    case rkBoolean:
      constant = std::make_unique<TBooleanConstant>("", FResultBuf[0] != 0);
      break;
    case rkInteger: {
      int32_t value;
      std::memcpy(&value, FResultBuf, sizeof value);
      constant = std::make_unique<TIntegerConstant>(value);
      break;
    }
    case rkFloat: {
      double value;
      std::memcpy(&value, FResultBuf, sizeof value);
      constant = TFloatConstant::CreateRaw("", value);
      break;
    }
    case rkString:
      constant = TStringConstant::CreateValue(FResultBuf);
      break;
    default:
      throw EParserException("Expression has no value");
  }
  FFirstRec = nullptr;
  FLastRec = nullptr;
  // The records of the evaluated part stay in FRecords until the chain is cleared.
  TExprRecord* folded = NewRecord();
  folded->Word = constant.get();
  folded->Routine = constant->Routine();
  folded->Args[0] = constant->ValueAddress();
  FConstants.Add(constant.release());
  return folded;
}

// ---- chain ----

void TCustomExpressionParser::LinkChain(TExprRecord* rec, char** bufferVar, int32_t* sizeVar,
                                        char** positionVar) {
  if (rec->Routine == nullptr) {
    // No routine of its own (concatenation): the parts append into the same buffer.
    for (TExprRecord* arg : rec->ArgRec)
      if (arg != nullptr) LinkChain(arg, bufferVar, sizeVar, positionVar);
    return;
  }
  // The first record linked to a buffer rewinds it at evaluation, later ones append. The
  // position is set one byte past the start to tell them apart.
  rec->ResetPosition = *positionVar == *bufferVar;
  *positionVar = *bufferVar + 1;
  for (int i = 0; i < kMaxArgs; ++i) {
    TExprRecord* arg = rec->ArgRec[i];
    if (arg == nullptr) continue;
    rec->ArgType[i] = arg->Word->ResultType();
    rec->Args[i] = NewExprBuffer(32);
    rec->ArgPos[i] = rec->Args[i];
    rec->ArgSize[i] = 32;
    LinkChain(arg, &rec->Args[i], &rec->ArgSize[i], &rec->ArgPos[i]);
  }
  rec->ResultWriter = TDynamicType(bufferVar, positionVar, sizeVar);
  if (FFirstRec == nullptr) {
    FFirstRec = rec;
  } else {
    FLastRec->NextRec = rec;
  }
  FLastRec = rec;
}

void TCustomExpressionParser::RunChain() {
  for (TExprRecord* rec = FFirstRec; rec != nullptr; rec = rec->NextRec) {
    if (rec->ResetPosition) *rec->ResultWriter.FPositionVar = *rec->ResultWriter.FBufferVar;
    rec->Routine(rec);
  }
}

TExprResultKind TCustomExpressionParser::ChainResultType() const {
  return FFirstRec == nullptr ? rkUnknown : FLastRec->Word->ResultType();
}

TExprResultKind TCustomExpressionParser::GetResultType() const {
  return ChainResultType();
}

void TCustomExpressionParser::ClearCompiled() {
  FFirstRec = nullptr;
  FLastRec = nullptr;
  FRecords.clear();
  FResultPos = FResultBuf;
  // Only the records just freed used the constants: a parser that compiles again and again
  // (an index switching tags) must not pile them up.
  FConstants.DisposeAll();
}

// ---- variables and word replacement ----

void TCustomExpressionParser::DefineIntegerVariable(std::string_view name, int32_t* value) {
  AddOrReplaceWord(std::make_unique<TIntegerVariable>(name, value));
}

void TCustomExpressionParser::DefineLargeIntVariable(std::string_view name, int64_t* value) {
  AddOrReplaceWord(std::make_unique<TLargeIntVariable>(name, value));
}

void TCustomExpressionParser::DefineDateTimeVariable(std::string_view name, double* value) {
  AddOrReplaceWord(std::make_unique<TDateTimeVariable>(name, value));
}

void TCustomExpressionParser::DefineFloatVariable(std::string_view name, double* value) {
  AddOrReplaceWord(std::make_unique<TFloatVariable>(name, value));
}

void TCustomExpressionParser::DefineStringVariable(std::string_view name, const char** value,
                                                   int32_t fixedLength) {
  AddOrReplaceWord(std::make_unique<TStringVariable>(name, fixedLength, value));
}

void TCustomExpressionParser::AddOrReplaceWord(std::unique_ptr<TExprWord> word) {
  int32_t index = 0;
  if (FVocabulary.SearchSorted(word->Name(), index)) {
    SubstituteWord(FVocabulary[index], word.get());
    FVocabulary.DeleteAndDispose(index);
  }
  if (FVocabulary.InsertSorted(word.get())) word.release();
}

void TCustomExpressionParser::RemoveOrReplaceWord(std::string_view name,
                                                  std::unique_ptr<TExprWord> newWord) {
  if (newWord == nullptr && FFirstRec != nullptr)
    throw platform::Exception("Cannot undefine function/variable while expression present");
  int32_t index = 0;
  if (FVocabulary.SearchSorted(name, index)) {
    if (newWord != nullptr) SubstituteWord(FVocabulary[index], newWord.get());
    FVocabulary.DeleteAndDispose(index);
  }
  if (newWord != nullptr && FVocabulary.InsertSorted(newWord.get())) newWord.release();
}

void TCustomExpressionParser::SubstituteWord(TExprWord* oldWord, TExprWord* newWord) {
  if (oldWord->MaxFunctionArg() != newWord->MaxFunctionArg())
    throw platform::Exception("Cannot replace variable/function MaxFunctionArg doesn't match");
  if (FFirstRec == nullptr) return;
  // The records that use the old word were linked for its kind of value.
  if (oldWord->ResultType() != newWord->ResultType())
    throw platform::Exception("Cannot replace variable/function result type doesn't match");
  const char* oldValue = oldWord->ValueAddress();
  for (TExprRecord* rec = FFirstRec; rec != nullptr; rec = rec->NextRec) {
    if (rec->Word == oldWord) {
      rec->Word = newWord;
      rec->Routine = newWord->Routine();
      if (IsValueWord(newWord)) {
        rec->Args[0] = newWord->ValueAddress();
        rec->Args[1] = newWord->FixedLength() >= 0
                           ? reinterpret_cast<char*>(newWord->FixedLengthAddress())
                           : nullptr;
      }
    }
    for (char*& arg : rec->Args)
      if (oldValue != nullptr && arg == oldValue) arg = newWord->ValueAddress();
  }
}

}  // namespace dbf
