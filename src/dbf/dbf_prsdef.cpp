#include "dbf/dbf_prsdef.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace dbf {

TExprResultKind KindOfLetter(char letter) {
  switch (letter) {
    case 'B':
      return rkBoolean;
    case 'I':
      return rkInteger;
    case 'L':
      return rkLargeInt;
    case 'F':
      return rkFloat;
    case 'D':
      return rkDateTime;
    case 'S':
      return rkString;
    default:
      return rkUnknown;
  }
}

// ---- TDynamicType ----

namespace {

// Buffers are addressed with int32 sizes; a text that would outgrow them is refused.
constexpr int64_t kMaxBufferSize = std::numeric_limits<int32_t>::max() - 64;

}  // namespace

void TDynamicType::EnsureRoom(int64_t n) {
  const int64_t needed = (*FPositionVar - *FBufferVar) + n;
  if (needed > *FSizeVar) Resize(needed);
}

void TDynamicType::Resize(int64_t newSize) {
  if (newSize < 0 || newSize > kMaxBufferSize)
    throw platform::EParserException("Expression result too long");
  const int32_t size = static_cast<int32_t>(newSize / 32 * 32 + 32);
  char* buffer = new char[size];
  const int64_t offset = *FPositionVar - *FBufferVar;
  std::memcpy(buffer, *FBufferVar, std::min<int64_t>(size, *FSizeVar));
  delete[] * FBufferVar;
  *FBufferVar = buffer;
  *FSizeVar = size;
  *FPositionVar = buffer + offset;
}

void TDynamicType::AppendBytes(const char* source, int64_t length) {
  EnsureRoom(length + 4);
  std::memcpy(*FPositionVar, source, length);
  *FPositionVar += length;
  **FPositionVar = '\0';
}

void TDynamicType::Advance(int64_t n) {
  *FPositionVar += n;
  **FPositionVar = '\0';
}

// ---- TExprRecord ----

TExprRecord::TExprRecord() {
  for (auto& kind : ArgType) kind = rkUnknown;
}

TExprRecord::~TExprRecord() {
  for (int i = 0; i < kMaxArgs; ++i)
    if (ArgRec[i] != nullptr) delete[] Args[i];
}

char* NewExprBuffer(int32_t size) {
  char* buffer = new char[size];
  buffer[0] = '\0';
  return buffer;
}

// ---- value routines ----

void CopyFloatValue(TExprRecord* rec) {
  std::memcpy(rec->ResultWriter.Position(), rec->Args[0], sizeof(double));
}

void CopyDateTimeValue(TExprRecord* rec) {
  std::memcpy(rec->ResultWriter.Position(), rec->Args[0], sizeof(double));
}

void CopyLargeIntValue(TExprRecord* rec) {
  std::memcpy(rec->ResultWriter.Position(), rec->Args[0], sizeof(int64_t));
}

void CopyIntegerValue(TExprRecord* rec) {
  std::memcpy(rec->ResultWriter.Position(), rec->Args[0], sizeof(int32_t));
}

void CopyBooleanValue(TExprRecord* rec) {
  *rec->ResultWriter.Position() = *rec->Args[0];
}

void AppendConstantText(TExprRecord* rec) {
  rec->ResultWriter.AppendBytes(rec->Args[0], std::strlen(rec->Args[0]));
}

namespace {

const char* HeldText(const TExprRecord* rec) {
  const char* text;
  std::memcpy(&text, rec->Args[0], sizeof text);
  return text;
}

}  // namespace

void AppendVariableText(TExprRecord* rec) {
  const char* text = HeldText(rec);
  if (text == nullptr) return rec->ResultWriter.AppendBytes("", 0);
  rec->ResultWriter.AppendBytes(text, std::strlen(text));
}

void AppendFixedText(TExprRecord* rec) {
  const char* text = HeldText(rec);
  int32_t length;
  std::memcpy(&length, rec->Args[1], sizeof length);
  if (text == nullptr) return rec->ResultWriter.AppendBytes("", 0);
  rec->ResultWriter.AppendBytes(text, length);
}

bool IsValueWord(const TExprWord* word) {
  const TExprRoutine routine = word->Routine();
  return routine == CopyFloatValue || routine == CopyDateTimeValue ||
         routine == CopyLargeIntValue || routine == CopyIntegerValue ||
         routine == CopyBooleanValue || routine == AppendConstantText ||
         routine == AppendVariableText || routine == AppendFixedText;
}

// ---- words ----

TExprWord::TExprWord(std::string_view name, TExprRoutine routine) : FName(name), FRoutine(routine) {
  for (char& c : FName)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

namespace {

double FloatOfText(std::string_view text) {
  if (text.empty()) return 0.0;
  return platform::StrToFloat(text, platform::Settings().DecimalSeparator);
}

}  // namespace

TFloatConstant::TFloatConstant(std::string_view name, std::string_view valueText)
    : TFloatConstant(name, FloatOfText(valueText)) {}

TFloatConstant::TFloatConstant(std::string_view name, double value)
    : TConstant(name, CopyFloatValue, rkFloat), FValue(value) {}

std::unique_ptr<TFloatConstant> TFloatConstant::CreateRaw(std::string_view name, double value) {
  return std::unique_ptr<TFloatConstant>(new TFloatConstant(name, value));
}

namespace {

std::string_view Unquoted(std::string_view text) {
  if (!text.empty() && text.front() == text.back() && (text[0] == '\'' || text[0] == '"'))
    return text.size() == 1 ? std::string_view() : text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

TStringConstant::TStringConstant(std::string_view text)
    : TConstant(text, AppendConstantText, rkString), FValue(Unquoted(text)) {}

std::unique_ptr<TStringConstant> TStringConstant::CreateValue(std::string_view value) {
  auto constant = std::make_unique<TStringConstant>("");
  constant->FValue = value;
  return constant;
}

TIntegerConstant::TIntegerConstant(int32_t value)
    : TConstant(std::to_string(value), CopyIntegerValue, rkInteger), FValue(value) {}

TBooleanConstant::TBooleanConstant(std::string_view name, bool value)
    : TConstant(name, CopyBooleanValue, rkBoolean), FValue(value ? 1 : 0) {}

TFloatVariable::TFloatVariable(std::string_view name, double* valueAddress)
    : TVariable(name, CopyFloatValue, rkFloat), FValueAddress(valueAddress) {}

TStringVariable::TStringVariable(std::string_view name, int32_t fixedLength,
                                 const char** valueAddress)
    : TVariable(name, fixedLength < 0 ? AppendVariableText : AppendFixedText, rkString),
      FValueAddress(valueAddress),
      FFixedLength(fixedLength) {}

std::string TStringVariable::StringValue() const {
  const char* text = *FValueAddress;
  if (text == nullptr) return {};
  // A fixed-length text need not be NUL-terminated: never read past its length.
  const size_t length =
      FFixedLength < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(FFixedLength));
  return std::string(text, length);
}

TDateTimeVariable::TDateTimeVariable(std::string_view name, double* valueAddress)
    : TVariable(name, CopyDateTimeValue, rkDateTime), FValueAddress(valueAddress) {}

TIntegerVariable::TIntegerVariable(std::string_view name, int32_t* valueAddress)
    : TVariable(name, CopyIntegerValue, rkInteger), FValueAddress(valueAddress) {}

TLargeIntVariable::TLargeIntVariable(std::string_view name, int64_t* valueAddress)
    : TVariable(name, CopyLargeIntValue, rkLargeInt), FValueAddress(valueAddress) {}

TFunction::TFunction(std::string_view name, std::string_view helpText, std::string_view argTypes,
                     int32_t minArgs, TExprResultKind kind, TExprRoutine routine, bool isOperator,
                     int32_t precedence)
    : TExprWord(name, routine),
      FIsOperator(isOperator),
      FPrecedence(precedence),
      FMinArgs(0),
      FMaxArgs(static_cast<int32_t>(argTypes.size())),
      FHelpText(helpText),
      FArgTypes(argTypes),
      FResultType(kind) {
  if (FMaxArgs > kMaxArgs) throw platform::EParserException("Too many arguments");
  FMinArgs = minArgs == -1 ? FMaxArgs : minArgs;
}

std::unique_ptr<TFunction> TFunction::CreateFunction(std::string_view name,
                                                     std::string_view helpText,
                                                     std::string_view argTypes, int32_t minArgs,
                                                     TExprResultKind kind, TExprRoutine routine) {
  return std::unique_ptr<TFunction>(
      new TFunction(name, helpText, argTypes, minArgs, kind, routine, false, 0));
}

std::unique_ptr<TFunction> TFunction::CreateOperator(std::string_view name,
                                                     std::string_view argTypes,
                                                     TExprResultKind kind, TExprRoutine routine,
                                                     int32_t precedence) {
  return std::unique_ptr<TFunction>(
      new TFunction(name, {}, argTypes, -1, kind, routine, true, precedence));
}

int32_t CompareWordNames(std::string_view a, std::string_view b) {
  auto upper = [](char c) -> int32_t {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'a' && byte <= 'z' ? byte - 'a' + 'A' : byte;
  };
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const int32_t diff = upper(a[i]) - upper(b[i]);
    if (diff != 0) return diff;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace dbf
