// TDbfParser: the expression parser of the table engine. Its vocabulary is the table
// expression language ("+", = < > <= >=, NOT AND OR, STR DTOS SUBSTR UPPER LOWER); names it
// does not know are fields of the bound table file, read per record by field variables. Index
// keys, filters and master/detail links compile a text with Compile and evaluate it with
// EvaluateRecord. The parser owns its field variables; the table file is borrowed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbf/dbf_fields.h"
#include "dbf/dbf_prscore.h"

namespace dbf {

class TDbfFile;

// A field variable loads one field of a record into the storage its variable word reads.
// Records are whole records as stored (byte 0 the deletion flag); a field's Size bytes at its
// FOffset must lie inside them.
class TFieldVar {
 public:
  TFieldVar(TDbfFieldDef* fieldDef, TDbfFile* dbfFile) : FFieldDef(fieldDef), FDbfFile(dbfFile) {}
  virtual ~TFieldVar() = default;
  TFieldVar(const TFieldVar&) = delete;
  TFieldVar& operator=(const TFieldVar&) = delete;

  // The storage the variable word reads (for text: the address of a text pointer).
  virtual char* FieldValueAddress() = 0;
  virtual TExprResultKind FieldResultType() const = 0;
  virtual void LoadFromRecord(const uint8_t* record) = 0;
  TDbfFieldDef* FieldDef() const { return FFieldDef; }

 protected:
  TDbfFieldDef* FFieldDef;
  TDbfFile* FDbfFile;
};

class TStringFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  char* FieldValueAddress() override { return reinterpret_cast<char*>(&FValuePtr); }
  TExprResultKind FieldResultType() const override { return rkString; }

 protected:
  const char* FValuePtr = nullptr;
};

// The field's Size bytes in place inside the record: not copied, no NUL.
class TRawStringFieldVar : public TStringFieldVar {
 public:
  using TStringFieldVar::TStringFieldVar;
  void LoadFromRecord(const uint8_t* record) override;
};

// A NUL-terminated copy without trailing blanks (one blank is left of an all-blank field),
// translated from the table's code page to the ANSI code page.
class TAnsiStringFieldVar : public TStringFieldVar {
 public:
  TAnsiStringFieldVar(TDbfFieldDef* fieldDef, TDbfFile* dbfFile);
  void LoadFromRecord(const uint8_t* record) override;

 private:
  std::unique_ptr<char[]> FBuffer;  // Size + 1 bytes
};

// A field with no value loads 0.
class TFloatFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  char* FieldValueAddress() override { return reinterpret_cast<char*>(&FValue); }
  TExprResultKind FieldResultType() const override { return rkFloat; }
  void LoadFromRecord(const uint8_t* record) override;

 private:
  double FValue = 0;
};

class TIntegerFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  char* FieldValueAddress() override { return reinterpret_cast<char*>(&FValue); }
  TExprResultKind FieldResultType() const override { return rkInteger; }
  void LoadFromRecord(const uint8_t* record) override;

 private:
  int32_t FValue = 0;
};

class TLargeIntFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  char* FieldValueAddress() override { return reinterpret_cast<char*>(&FValue); }
  TExprResultKind FieldResultType() const override { return rkLargeInt; }
  void LoadFromRecord(const uint8_t* record) override;

 private:
  int64_t FValue = 0;
};

// The platform date-time of a date or date-time field; 0 (30 December 1899) without a value.
class TDateTimeFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  char* FieldValueAddress() override { return reinterpret_cast<char*>(&FValue); }
  TExprResultKind FieldResultType() const override { return rkDateTime; }
  void LoadFromRecord(const uint8_t* record) override;

 private:
  double FValue = 0;
};

class TDbfParser : public TCustomExpressionParser {
 public:
  explicit TDbfParser(TDbfFile* dbfFile = nullptr);
  ~TDbfParser() override;

  void RegisterVocabulary() override;
  void ResolveUnknownName(const std::string& name) override;
  std::string GetExpressionText() const override { return FExpressionText; }
  TExprResultKind GetResultType() const override;
  void ClearCompiled() override;

  // Compiles an expression, or binds a single field name without compiling. Sets the result
  // kind and length (bytes; for text the length on an empty record). Throws EParserException
  // or EDbfError; a result longer than 100 bytes is refused after compiling.
  virtual void Compile(std::string_view text);
  // Loads the bound fields from `record` and evaluates. The result stays valid until the next
  // EvaluateRecord, Compile or ClearCompiled; for a single raw text field it points into
  // `record` (ResultLength bytes, no NUL). Throws EParserException when nothing is compiled.
  virtual const char* EvaluateRecord(const uint8_t* record);

  TDbfFile* DbfFile() const { return FDbfFile; }
  void SetDbfFile(TDbfFile* dbfFile) { FDbfFile = dbfFile; }
  // String comparisons ignore case (true at creation).
  bool CaseInsensitive() const { return FCaseInsensitive; }
  // String fields are read as stored (true at creation); false: trimmed and translated to the
  // ANSI code page. Changing either setting clears what is compiled and rebuilds the
  // vocabulary: assign them before Compile.
  bool RawStringFields() const { return FRawStringFields; }
  void SetCaseInsensitive(bool value);
  void SetRawStringFields(bool value);

  TExprResultKind ResultType() const { return GetResultType(); }
  int32_t ResultLength() const { return FResultLength; }
  const std::string& ExpressionText() const { return FExpressionText; }

  // Longest result Compile accepts, in bytes.
  static constexpr int32_t kMaxResultLength = 100;

 private:
  // Length of the text the compiled expression gives for a new, empty record of the table.
  int32_t EmptyRecordResultLength();

  TDbfFile* FDbfFile;
  // The names as written in the expression, with their variables, in the order of binding.
  std::vector<std::pair<std::string, std::unique_ptr<TFieldVar>>> FFieldVars;
  std::string FExpressionText;
  int32_t FResultLength = 0;
  bool FIsExpression = true;
  TExprResultKind FFieldType = rkUnknown;
  bool FCaseInsensitive = true;
  bool FRawStringFields = true;
};

}  // namespace dbf
