#include "dbf/dbf_parser.h"

#include <fmt/printf.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <type_traits>

#include "dbf/dbf_common.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_str.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace dbf {
namespace {

// ---- the routines of the vocabulary ----
// Argument i is read at Args[i] in the representation of its type letter; fixed-size results
// are written at the result position without moving it, texts are appended.

template <class T>
T ArgValue(const TExprRecord* rec, int i) {
  T value;
  std::memcpy(&value, rec->Args[i], sizeof value);
  return value;
}

template <class T>
void PutResult(TExprRecord* rec, T value) {
  std::memcpy(rec->ResultWriter.Position(), &value, sizeof value);
}

// Integer sums wrap on overflow; a float on either side makes a float sum.
template <class R, class A, class B>
R Sum(A a, B b) {
  if constexpr (std::is_floating_point_v<R>) {
    return static_cast<R>(a) + static_cast<R>(b);
  } else {
    using U = std::make_unsigned_t<R>;
    return static_cast<R>(static_cast<U>(static_cast<U>(a) + static_cast<U>(b)));
  }
}

template <class R, class A, class B>
void Add(TExprRecord* rec) {
  PutResult<R>(rec, Sum<R>(ArgValue<A>(rec, 0), ArgValue<B>(rec, 1)));
}

// Integers compare as 64-bit integers; an integer against a double in extended precision, so
// that every 64-bit integer converts exactly.
template <class A, class B>
using TCompareType =
    std::conditional_t<std::is_integral_v<A> && std::is_integral_v<B>, int64_t,
                       std::conditional_t<std::is_same_v<A, double> && std::is_same_v<B, double>,
                                          double, long double>>;

template <class Relation, class A, class B>
void CompareNumbers(TExprRecord* rec) {
  using C = TCompareType<A, B>;
  const bool result =
      Relation{}(static_cast<C>(ArgValue<A>(rec, 0)), static_cast<C>(ArgValue<B>(rec, 1)));
  PutResult<uint8_t>(rec, result ? 1 : 0);
}

// <0, 0, >0 by the collation of the user's locale. Should the locale have no collation, the
// bytes decide (ASCII letters folded when case is ignored).
int CompareTexts(const char* a, const char* b, bool ignoreCase) {
  const auto& settings = platform::Settings();
  const int result = platform::CompareStringA(
      settings.UserLCID, ignoreCase ? platform::NORM_IGNORECASE : 0, settings.AnsiCodePage, a, b);
  if (result != 0) return result - platform::CSTR_EQUAL;
  return ignoreCase ? strcasecmp(a, b) : std::strcmp(a, b);
}

template <class Relation, bool IgnoreCase>
void CompareStrings(TExprRecord* rec) {
  const int order = CompareTexts(rec->Args[0], rec->Args[1], IgnoreCase);
  PutResult<uint8_t>(rec, Relation{}(order, 0) ? 1 : 0);
}

void FuncAnd(TExprRecord* rec) {
  PutResult<uint8_t>(rec, *rec->Args[0] != 0 && *rec->Args[1] != 0 ? 1 : 0);
}

void FuncOr(TExprRecord* rec) {
  PutResult<uint8_t>(rec, *rec->Args[0] != 0 || *rec->Args[1] != 0 ? 1 : 0);
}

void FuncNot(TExprRecord* rec) {
  PutResult<uint8_t>(rec, *rec->Args[0] ^ 1);
}

// Widths and decimal counts of STR are capped: a record or a constant must not make one
// evaluation allocate an arbitrary amount.
constexpr int32_t kMaxStrWidth = 255;

// STR(value [, width [, decimals]]) of a float: blanks on the left up to the width, cut on the
// right beyond it; 18 characters at most without a width.
void FuncStrFloat(TExprRecord* rec) {
  const double value = ArgValue<double>(rec, 0);
  const bool hasWidth = rec->Args[1] != nullptr;
  const int32_t width = hasWidth ? std::clamp(ArgValue<int32_t>(rec, 1), 0, kMaxStrWidth) : 18;
  const int32_t decimals = rec->Args[2] != nullptr ? ArgValue<int32_t>(rec, 2) : 0;
  char text[platform::kFixedTextMax];
  int32_t length =
      static_cast<int32_t>(platform::FloatToStrFixedBuf(text, value, decimals, 18, '.'));
  TDynamicType& writer = rec->ResultWriter;
  writer.EnsureRoom(std::max(width, length) + 1);
  char* out = writer.Position();
  if (hasWidth && width > length) {
    std::memset(out, ' ', width - length);
    std::memcpy(out + (width - length), text, length);
    length = width;
  } else {
    length = std::min(length, width);
    std::memcpy(out, text, length);
  }
  writer.Advance(length);
}

// STR(value [, width [, decimals]]) of an integer: with a width exactly that many characters,
// "-" first for a negative value, zeros, then the lowest-order digits that fit; with decimals
// a "." and that many zeros follow.
void FuncStrInteger(TExprRecord* rec) {
  const int64_t value = ArgValue<int32_t>(rec, 0);
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value < 0 ? -value : value).ptr;
  const int32_t digitCount = static_cast<int32_t>(end - digits);
  TDynamicType& writer = rec->ResultWriter;
  if (rec->Args[1] == nullptr) {
    writer.EnsureRoom(digitCount + 2);
    char* out = writer.Position();
    if (value < 0) *out++ = '-';
    std::memcpy(out, digits, digitCount);
    return writer.Advance(digitCount + (value < 0 ? 1 : 0));
  }
  const int32_t width = std::clamp(ArgValue<int32_t>(rec, 1), 0, kMaxStrWidth);
  const bool hasDecimals = rec->Args[2] != nullptr;
  const int32_t decimals = hasDecimals ? std::clamp(ArgValue<int32_t>(rec, 2), 0, kMaxStrWidth) : 0;
  writer.EnsureRoom(width + decimals + 2);
  char* out = writer.Position();
  int32_t room = width;
  if (value < 0 && room > 0) {
    *out++ = '-';
    --room;
  }
  const int32_t shown = std::min(room, digitCount);
  std::memset(out, '0', room - shown);
  std::memcpy(out + (room - shown), digits + (digitCount - shown), shown);
  out += room;
  if (hasDecimals) {
    *out++ = '.';
    std::memset(out, '0', decimals);
    out += decimals;
  }
  writer.Advance(out - writer.Position());
}

// DTOS(date): yyyymmdd; the time of day is ignored.
void FuncDtos(TExprRecord* rec) {
  static const platform::TDateTimePattern kPattern("yyyyMMdd");
  char text[24];
  const size_t length =
      kPattern.Format(text, sizeof text, platform::DateTimeParts(ArgValue<double>(rec, 0)));
  rec->ResultWriter.AppendBytes(text, static_cast<int64_t>(length));
}

// SUBSTR(text, start, count): `count` characters from the 1-based `start`; the empty text when
// they are not all there (or start < 1, count < 0).
void FuncSubstr(TExprRecord* rec) {
  const char* text = rec->Args[0];
  const int64_t length = static_cast<int64_t>(std::strlen(text));
  const int64_t start = ArgValue<int32_t>(rec, 1);
  const int64_t count = ArgValue<int32_t>(rec, 2);
  if (start < 1 || count < 0 || length < (start - 1) + count)
    return rec->ResultWriter.AppendBytes("", 0);
  rec->ResultWriter.AppendBytes(text + (start - 1), count);
}

// Appends the text and changes the case of its ASCII letters only.
template <char From, char To>
void ChangeCase(TExprRecord* rec) {
  const size_t length = std::strlen(rec->Args[0]);
  rec->ResultWriter.AppendBytes(rec->Args[0], static_cast<int64_t>(length));
  char* text = rec->ResultWriter.Position() - length;
  for (size_t i = 0; i < length; ++i)
    if (text[i] >= From && text[i] <= From + 25) text[i] = static_cast<char>(text[i] - From + To);
}

// ---- registration ----

constexpr int32_t kPrecedenceAdd = 40;
constexpr int32_t kPrecedenceCompare = 80;

template <class A, class B>
void RegisterComparisons(TExpressList& list, std::string_view types) {
  auto add = [&](std::string_view name, TExprRoutine routine) {
    list.InsertSorted(
        TFunction::CreateOperator(name, types, rkBoolean, routine, kPrecedenceCompare).release());
  };
  add("=", CompareNumbers<std::equal_to<>, A, B>);
  add("<", CompareNumbers<std::less<>, A, B>);
  add(">", CompareNumbers<std::greater<>, A, B>);
  add("<=", CompareNumbers<std::less_equal<>, A, B>);
  add(">=", CompareNumbers<std::greater_equal<>, A, B>);
}

template <bool IgnoreCase>
void RegisterStringComparisons(TExpressList& list) {
  auto add = [&](std::string_view name, TExprRoutine routine) {
    list.InsertSorted(
        TFunction::CreateOperator(name, "SS", rkBoolean, routine, kPrecedenceCompare).release());
  };
  add("=", CompareStrings<std::equal_to<>, IgnoreCase>);
  add("<", CompareStrings<std::less<>, IgnoreCase>);
  add(">", CompareStrings<std::greater<>, IgnoreCase>);
  add("<=", CompareStrings<std::less_equal<>, IgnoreCase>);
  add(">=", CompareStrings<std::greater_equal<>, IgnoreCase>);
}

}  // namespace

TDbfParser::TDbfParser(TDbfFile* dbfFile) : FDbfFile(dbfFile) {
  RegisterVocabulary();
}

TDbfParser::~TDbfParser() {
  TDbfParser::ClearCompiled();
}

void TDbfParser::RegisterVocabulary() {
  TExpressList& list = FVocabulary;
  list.DisposeAll();
  list.FAllowDuplicates = true;
  auto insert = [&](std::unique_ptr<TExprWord> word) { list.InsertSorted(word.release()); };

  insert(std::make_unique<TLeftBracket>("(", nullptr));
  insert(std::make_unique<TRightBracket>(")", nullptr));
  insert(std::make_unique<TComma>(std::string_view(&FArgSeparator, 1), nullptr));

  auto plus = [&](std::string_view types, TExprResultKind kind, TExprRoutine routine) {
    insert(TFunction::CreateOperator("+", types, kind, routine, kPrecedenceAdd));
  };
  plus("SS", rkString, nullptr);  // concatenation: the operands append into one buffer
  plus("FF", rkFloat, Add<double, double, double>);
  plus("FI", rkFloat, Add<double, double, int32_t>);
  plus("IF", rkFloat, Add<double, int32_t, double>);
  plus("II", rkInteger, Add<int32_t, int32_t, int32_t>);
  plus("FL", rkFloat, Add<double, double, int64_t>);
  plus("IL", rkLargeInt, Add<int64_t, int32_t, int64_t>);
  plus("LF", rkFloat, Add<double, int64_t, double>);
  plus("LL", rkLargeInt, Add<int64_t, int64_t, int64_t>);
  plus("LI", rkLargeInt, Add<int64_t, int64_t, int32_t>);

  if (FCaseInsensitive) {
    RegisterStringComparisons<true>(list);
  } else {
    RegisterStringComparisons<false>(list);
  }
  RegisterComparisons<double, double>(list, "FF");
  RegisterComparisons<double, int32_t>(list, "FI");
  RegisterComparisons<int32_t, int32_t>(list, "II");
  RegisterComparisons<int32_t, double>(list, "IF");
  RegisterComparisons<int64_t, int64_t>(list, "LL");
  RegisterComparisons<int64_t, double>(list, "LF");
  RegisterComparisons<int64_t, int32_t>(list, "LI");
  RegisterComparisons<double, int64_t>(list, "FL");
  RegisterComparisons<int32_t, int64_t>(list, "IL");

  insert(TFunction::CreateOperator("NOT", "B", rkBoolean, FuncNot, 85));
  insert(TFunction::CreateOperator("AND", "BB", rkBoolean, FuncAnd, 90));
  insert(TFunction::CreateOperator("OR", "BB", rkBoolean, FuncOr, 100));

  auto function = [&](std::string_view name, std::string_view types, int32_t minArgs,
                      TExprRoutine routine) {
    insert(TFunction::CreateFunction(name, "", types, minArgs, rkString, routine));
  };
  function("STR", "FII", 1, FuncStrFloat);
  function("STR", "III", 1, FuncStrInteger);
  function("DTOS", "D", 1, FuncDtos);
  function("SUBSTR", "SII", 3, FuncSubstr);
  function("UPPERCASE", "S", 1, ChangeCase<'a', 'A'>);
  function("LOWERCASE", "S", 1, ChangeCase<'A', 'a'>);
  function("UPPER", "S", 1, ChangeCase<'a', 'A'>);
  function("LOWER", "S", 1, ChangeCase<'A', 'a'>);
}

void TDbfParser::SetCaseInsensitive(bool value) {
  if (value == FCaseInsensitive) return;
  // The chain and the field variables refer to words the new vocabulary replaces.
  ClearCompiled();
  FCaseInsensitive = value;
  RegisterVocabulary();
}

void TDbfParser::SetRawStringFields(bool value) {
  if (value == FRawStringFields) return;
  ClearCompiled();
  FRawStringFields = value;
  RegisterVocabulary();
}

// ---- field variables ----

void TRawStringFieldVar::LoadFromRecord(const uint8_t* record) {
  FValuePtr = reinterpret_cast<const char*>(record + FFieldDef->FOffset);
}

TAnsiStringFieldVar::TAnsiStringFieldVar(TDbfFieldDef* fieldDef, TDbfFile* dbfFile)
    : TStringFieldVar(fieldDef, dbfFile), FBuffer(new char[fieldDef->Size() + 1]()) {
  FValuePtr = FBuffer.get();
}

void TAnsiStringFieldVar::LoadFromRecord(const uint8_t* record) {
  const int32_t size = FFieldDef->Size();
  char* text = FBuffer.get();
  std::memcpy(text, record + FFieldDef->FOffset, size);
  int32_t length = size;
  while (length > 1 && text[length - 1] == ' ') --length;
  text[length] = '\0';
  length = TranslateString(FDbfFile->UseCodePage(), platform::Settings().AnsiCodePage, text, length,
                           text);
  text[length] = '\0';
}

void TFloatFieldVar::LoadFromRecord(const uint8_t* record) {
  if (!FDbfFile->GetFieldDataFromDef(*FFieldDef, FFieldDef->FieldType(), &FValue, record))
    FValue = 0.0;
}

void TIntegerFieldVar::LoadFromRecord(const uint8_t* record) {
  FValue = 0;
  if (FFieldDef->FieldType() == ftSmallint) {
    int16_t small = 0;
    if (FDbfFile->GetFieldDataFromDef(*FFieldDef, ftSmallint, &small, record)) FValue = small;
  } else if (!FDbfFile->GetFieldDataFromDef(*FFieldDef, FFieldDef->FieldType(), &FValue, record)) {
    FValue = 0;
  }
}

void TLargeIntFieldVar::LoadFromRecord(const uint8_t* record) {
  if (!FDbfFile->GetFieldDataFromDef(*FFieldDef, FFieldDef->FieldType(), &FValue, record))
    FValue = 0;
}

void TDateTimeFieldVar::LoadFromRecord(const uint8_t* record) {
  double timeStamp = 0;
  FValue = FDbfFile->GetFieldDataFromDef(*FFieldDef, ftDateTime, &timeStamp, record)
               ? BDETimeStampToDateTime(timeStamp)
               : 0.0;
}

// ---- binding and evaluation ----

void TDbfParser::ResolveUnknownName(const std::string& name) {
  TDbfFieldDef* fieldDef = FDbfFile != nullptr ? FDbfFile->GetFieldInfo(name) : nullptr;
  if (fieldDef == nullptr)
    throw platform::EDbfError(fmt::sprintf(STRING_INDEX_BASED_ON_UNKNOWN_FIELD, name));

  std::unique_ptr<TFieldVar> variable;
  switch (fieldDef->FieldType()) {
    case ftString:
    case ftBoolean:
      if (FRawStringFields) {
        variable = std::make_unique<TRawStringFieldVar>(fieldDef, FDbfFile);
      } else {
        variable = std::make_unique<TAnsiStringFieldVar>(fieldDef, FDbfFile);
      }
      break;
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
      variable = std::make_unique<TIntegerFieldVar>(fieldDef, FDbfFile);
      break;
    case ftFloat:
      variable = std::make_unique<TFloatFieldVar>(fieldDef, FDbfFile);
      break;
    case ftDate:
    case ftDateTime:
      variable = std::make_unique<TDateTimeFieldVar>(fieldDef, FDbfFile);
      break;
    case ftLargeint:
      variable = std::make_unique<TLargeIntFieldVar>(fieldDef, FDbfFile);
      break;
    default:
      throw platform::EDbfError(fmt::sprintf(STRING_INDEX_BASED_ON_INVALID_FIELD, name));
  }
  char* address = variable->FieldValueAddress();
  const TExprResultKind kind = variable->FieldResultType();
  FFieldVars.emplace_back(name, std::move(variable));
  try {
    switch (kind) {
      case rkString:
        // A raw field is exactly its Size bytes. A translated field is its trimmed text up to
        // the NUL: appended whole, the bytes behind the NUL would hide whatever a
        // concatenation appends after it.
        DefineStringVariable(name, reinterpret_cast<const char**>(address),
                             FRawStringFields ? fieldDef->Size() : -1);
        break;
      case rkInteger:
        DefineIntegerVariable(name, reinterpret_cast<int32_t*>(address));
        break;
      case rkFloat:
        DefineFloatVariable(name, reinterpret_cast<double*>(address));
        break;
      case rkDateTime:
        DefineDateTimeVariable(name, reinterpret_cast<double*>(address));
        break;
      default:
        DefineLargeIntVariable(name, reinterpret_cast<int64_t*>(address));
        break;
    }
  } catch (...) {
    FFieldVars.pop_back();
    throw;
  }
}

void TDbfParser::Compile(std::string_view text) {
  ClearCompiled();
  const TDbfFieldDef* fieldDef = FDbfFile != nullptr ? FDbfFile->GetFieldInfo(text) : nullptr;
  FIsExpression = fieldDef == nullptr;
  if (!FIsExpression) {
    ResolveUnknownName(std::string(text));
    FFieldType = FFieldVars.front().second->FieldResultType();
    if (FFieldType == rkString) FResultLength = fieldDef->Size();
  } else {
    CompileText(text);
    if (GetResultType() == rkString) FResultLength = EmptyRecordResultLength();
  }
  switch (GetResultType()) {
    case rkBoolean:
      FResultLength = 1;
      break;
    case rkInteger:
      FResultLength = 4;
      break;
    case rkFloat:
    case rkDateTime:
      FResultLength = 8;
      break;
    default:
      break;
  }
  if (FResultLength > kMaxResultLength)
    throw platform::EDbfError(
        fmt::sprintf(STRING_INDEX_EXPRESSION_TOO_LONG, std::string(text), FResultLength));
  FExpressionText = text;
}

int32_t TDbfParser::EmptyRecordResultLength() {
  std::vector<uint8_t> record(std::max<int32_t>(FDbfFile ? FDbfFile->GetRecordSize() : 0, 1));
  if (FDbfFile != nullptr) FDbfFile->InitRecord(record.data());
  return static_cast<int32_t>(std::strlen(EvaluateRecord(record.data())));
}

const char* TDbfParser::EvaluateRecord(const uint8_t* record) {
  for (auto& entry : FFieldVars) entry.second->LoadFromRecord(record);
  if (FIsExpression ? FFirstRec == nullptr : FFieldVars.empty())
    throw platform::EParserException("No expression compiled");
  if (FIsExpression) {
    RunChain();
    return FResultBuf;
  }
  char* value = FFieldVars.front().second->FieldValueAddress();
  if (FFieldType != rkString) return value;
  const char* text;
  std::memcpy(&text, value, sizeof text);
  return text;
}

TExprResultKind TDbfParser::GetResultType() const {
  return FIsExpression ? TCustomExpressionParser::GetResultType() : FFieldType;
}

void TDbfParser::ClearCompiled() {
  TCustomExpressionParser::ClearCompiled();
  FFieldType = rkUnknown;
  // By the bound name, which equals the field's name but for case: the table file (and its
  // field definitions) may be gone already.
  for (const auto& entry : FFieldVars) RemoveOrReplaceWord(entry.first, nullptr);
  FFieldVars.clear();
  FExpressionText.clear();
}

}  // namespace dbf
