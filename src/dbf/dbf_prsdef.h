// The words of the table expression language (operators, functions, constants, variables and
// punctuation), the vocabulary list that owns them, the expression record a compiled
// expression is made of, and TDynamicType, which appends results into buffers owned by others.
// A word outlives every record that refers to it; a variable word never owns the value it
// names. Buffers handed around here are allocated with new char[] and freed with delete[].
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbf/dbf_prssupp.h"

namespace dbf {

enum TExprResultKind : uint8_t {
  rkBoolean = 0,   // 1 byte, 0 false, 1 true
  rkInteger = 1,   // int32
  rkLargeInt = 2,  // int64
  rkFloat = 3,     // double
  rkDateTime = 4,  // double, days since 1899-12-30
  rkString = 5,    // 8-bit text, NUL-terminated in buffers
  rkLeftBracket = 6,
  rkRightBracket = 7,
  rkComma = 8,
  rkUnknown = 9,  // no value, or nothing compiled
};

// 'B' 'I' 'L' 'F' 'D' 'S' to their kinds; any other character to rkUnknown.
TExprResultKind KindOfLetter(char letter);

// A record holds at most this many arguments; a function signature is no longer.
constexpr int kMaxArgs = 6;

struct TExprRecord;
using TExprRoutine = void (*)(TExprRecord* rec);

// Writes into a buffer through the three variables that describe it (start, write position,
// allocated size in bytes), so that the owner of the variables sees a grown buffer.
class TDynamicType {
 public:
  TDynamicType() = default;
  TDynamicType(char** bufferVar, char** positionVar, int32_t* sizeVar)
      : FBufferVar(bufferVar), FPositionVar(positionVar), FSizeVar(sizeVar) {}

  char* Buffer() const { return *FBufferVar; }
  char* Position() const { return *FPositionVar; }
  // Makes room for `n` more bytes after the position.
  void EnsureRoom(int64_t n);
  // Grows to `newSize` rounded down to a multiple of 32, plus 32; keeps the contents and the
  // position's offset. Throws std::bad_alloc with everything unchanged.
  void Resize(int64_t newSize);
  // Copies `length` bytes to the position, moves past them and writes a NUL after them.
  void AppendBytes(const char* source, int64_t length);
  // Moves the position `n` bytes on (after writing there directly) and writes a NUL.
  void Advance(int64_t n);

  char** FBufferVar = nullptr;
  char** FPositionVar = nullptr;
  int32_t* FSizeVar = nullptr;
};

class TExprWord;

// One node of a compiled expression. In a value record Args[0] is the word's ValueAddress and,
// for a string variable of fixed length, Args[1] its FixedLengthAddress; otherwise Args[i] is
// a buffer of ArgSize[i] bytes that the argument record writes into, owned by this record.
struct TExprRecord {
  TExprRecord();
  ~TExprRecord();
  TExprRecord(const TExprRecord&) = delete;
  TExprRecord& operator=(const TExprRecord&) = delete;

  TExprRoutine Routine = nullptr;
  TExprRecord* NextRec = nullptr;  // next in evaluation order
  TDynamicType ResultWriter;
  TExprWord* Word = nullptr;  // not owned
  bool ResetPosition = false;
  char* Args[kMaxArgs] = {};
  char* ArgPos[kMaxArgs] = {};
  int32_t ArgSize[kMaxArgs] = {};
  TExprResultKind ArgType[kMaxArgs];
  TExprRecord* ArgRec[kMaxArgs] = {};  // children, not owned
};

// Allocates a buffer of `size` bytes, first byte NUL; free it with delete[].
char* NewExprBuffer(int32_t size);

// The eight value routines: copy a constant's or variable's value to the result position.
void CopyFloatValue(TExprRecord* rec);
void CopyDateTimeValue(TExprRecord* rec);
void CopyLargeIntValue(TExprRecord* rec);
void CopyIntegerValue(TExprRecord* rec);
void CopyBooleanValue(TExprRecord* rec);
void AppendConstantText(TExprRecord* rec);  // NUL-terminated text at Args[0]
void AppendVariableText(TExprRecord* rec);  // Args[0] holds a pointer to NUL-terminated text
void AppendFixedText(TExprRecord* rec);     // exactly *(int32*)Args[1] bytes of that text

class TExprWord {
 public:
  // The name is kept with 'A'-'Z' turned to lower case.
  TExprWord(std::string_view name, TExprRoutine routine);
  virtual ~TExprWord() = default;
  TExprWord(const TExprWord&) = delete;
  TExprWord& operator=(const TExprWord&) = delete;

  virtual bool IsOperatorWord() const { return false; }
  virtual std::string StringValue() const { return {}; }
  virtual int32_t FixedLength() const { return -1; }
  // True when the value can change between evaluations.
  virtual bool IsVarying() const { return false; }
  virtual TExprResultKind ResultType() const { return rkUnknown; }
  virtual int32_t MinArgCount() const { return 0; }
  virtual int32_t MaxFunctionArg() const { return 0; }
  virtual std::string_view HelpText() const { return {}; }
  // One type letter per argument.
  virtual std::string_view ArgTypes() const { return {}; }
  virtual int32_t* FixedLengthAddress() { return nullptr; }
  virtual char* ValueAddress() { return nullptr; }
  virtual bool IsFunctionWord() const { return false; }

  const std::string& Name() const { return FName; }
  TExprRoutine Routine() const { return FRoutine; }

 protected:
  std::string FName;
  TExprRoutine FRoutine;
};

// True when the word's routine is one of the eight value routines (constants, variables).
bool IsValueWord(const TExprWord* word);

class TConstant : public TExprWord {
 public:
  TConstant(std::string_view name, TExprRoutine routine, TExprResultKind kind)
      : TExprWord(name, routine), FResultType(kind) {}
  TExprResultKind ResultType() const override { return FResultType; }

 protected:
  TExprResultKind FResultType;
};

class TFloatConstant : public TConstant {
 public:
  // The value text is read with the locale's decimal separator; an empty text gives 0.0.
  // Throws platform::EConvertError for text that is not a number.
  TFloatConstant(std::string_view name, std::string_view valueText);
  // Stores the value as it is.
  static std::unique_ptr<TFloatConstant> CreateRaw(std::string_view name, double value);
  char* ValueAddress() override { return reinterpret_cast<char*>(&FValue); }

 private:
  TFloatConstant(std::string_view name, double value);
  double FValue;
};

class TStringConstant : public TConstant {
 public:
  // Name = text; one pair of equal enclosing quotes (' or ") is stripped from the value.
  explicit TStringConstant(std::string_view text);
  // A constant holding exactly `value`, with an empty name.
  static std::unique_ptr<TStringConstant> CreateValue(std::string_view value);
  std::string StringValue() const override { return FValue; }
  char* ValueAddress() override { return FValue.data(); }

 private:
  std::string FValue;
};

class TIntegerConstant : public TConstant {
 public:
  // Named by the value's decimal text.
  explicit TIntegerConstant(int32_t value);
  char* ValueAddress() override { return reinterpret_cast<char*>(&FValue); }

 private:
  int32_t FValue;
};

class TBooleanConstant : public TConstant {
 public:
  TBooleanConstant(std::string_view name, bool value);
  char* ValueAddress() override { return reinterpret_cast<char*>(&FValue); }

 private:
  uint8_t FValue;
};

class TVariable : public TExprWord {
 public:
  TVariable(std::string_view name, TExprRoutine routine, TExprResultKind kind)
      : TExprWord(name, routine), FResultType(kind) {}
  bool IsVarying() const override { return true; }
  TExprResultKind ResultType() const override { return FResultType; }

 protected:
  TExprResultKind FResultType;
};

class TFloatVariable : public TVariable {
 public:
  TFloatVariable(std::string_view name, double* valueAddress);
  char* ValueAddress() override { return reinterpret_cast<char*>(FValueAddress); }

 private:
  double* FValueAddress;
};

// `valueAddress` holds a pointer to the text. With a fixed length >= 0 the text is exactly that
// many bytes (embedded NULs and blanks included); with -1 it runs to its NUL.
class TStringVariable : public TVariable {
 public:
  TStringVariable(std::string_view name, int32_t fixedLength, const char** valueAddress);
  std::string StringValue() const override;
  int32_t FixedLength() const override { return FFixedLength; }
  int32_t* FixedLengthAddress() override { return &FFixedLength; }
  char* ValueAddress() override { return reinterpret_cast<char*>(FValueAddress); }

 private:
  const char** FValueAddress;
  int32_t FFixedLength;
};

class TDateTimeVariable : public TVariable {
 public:
  TDateTimeVariable(std::string_view name, double* valueAddress);
  char* ValueAddress() override { return reinterpret_cast<char*>(FValueAddress); }

 private:
  double* FValueAddress;
};

class TIntegerVariable : public TVariable {
 public:
  TIntegerVariable(std::string_view name, int32_t* valueAddress);
  char* ValueAddress() override { return reinterpret_cast<char*>(FValueAddress); }

 private:
  int32_t* FValueAddress;
};

class TLargeIntVariable : public TVariable {
 public:
  TLargeIntVariable(std::string_view name, int64_t* valueAddress);
  char* ValueAddress() override { return reinterpret_cast<char*>(FValueAddress); }

 private:
  int64_t* FValueAddress;
};

class TLeftBracket : public TExprWord {
 public:
  using TExprWord::TExprWord;
  TExprResultKind ResultType() const override { return rkLeftBracket; }
};

class TRightBracket : public TExprWord {
 public:
  using TExprWord::TExprWord;
  TExprResultKind ResultType() const override { return rkRightBracket; }
};

class TComma : public TExprWord {
 public:
  using TExprWord::TExprWord;
  TExprResultKind ResultType() const override { return rkComma; }
};

// An operator or a function called by name. The signature has one type letter per argument
// (at most six); a lower precedence number binds tighter. The routine may be none (string
// concatenation: its operands append straight into its consumer's buffer).
class TFunction : public TExprWord {
 public:
  // A function: precedence 0; minArgs -1 means all arguments are required.
  static std::unique_ptr<TFunction> CreateFunction(std::string_view name, std::string_view helpText,
                                                   std::string_view argTypes, int32_t minArgs,
                                                   TExprResultKind kind, TExprRoutine routine);
  // An operator: every argument required.
  static std::unique_ptr<TFunction> CreateOperator(std::string_view name, std::string_view argTypes,
                                                   TExprResultKind kind, TExprRoutine routine,
                                                   int32_t precedence);

  bool IsOperatorWord() const override { return FIsOperator; }
  TExprResultKind ResultType() const override { return FResultType; }
  int32_t MinArgCount() const override { return FMinArgs; }
  int32_t MaxFunctionArg() const override { return FMaxArgs; }
  std::string_view HelpText() const override { return FHelpText; }
  std::string_view ArgTypes() const override { return FArgTypes; }
  bool IsFunctionWord() const override { return true; }
  int32_t Precedence() const { return FPrecedence; }

 private:
  // Throws platform::EParserException "Too many arguments" for more than six letters.
  TFunction(std::string_view name, std::string_view helpText, std::string_view argTypes,
            int32_t minArgs, TExprResultKind kind, TExprRoutine routine, bool isOperator,
            int32_t precedence);

  bool FIsOperator;
  int32_t FPrecedence;
  int32_t FMinArgs;
  int32_t FMaxArgs;
  std::string FHelpText;
  std::string FArgTypes;
  TExprResultKind FResultType;
};

// Compares names byte by byte as unsigned bytes with only 'a'-'z' folded to upper case; a
// name that is a prefix of a longer one sorts first.
int32_t CompareWordNames(std::string_view a, std::string_view b);

// The vocabulary of a parser, sorted by name without regard to ASCII case. Owns its words.
class TExpressList : public TSortedCollection<TExprWord, std::string_view> {
 public:
  using TSortedCollection::TSortedCollection;
  int32_t CompareItemKeys(std::string_view key1, std::string_view key2) const override {
    return CompareWordNames(key1, key2);
  }
  std::string_view KeyOfItem(const TExprWord* item) const override { return item->Name(); }
};

}  // namespace dbf
