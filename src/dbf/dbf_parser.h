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

#include "dbf/dbf_prscore.h"

namespace dbf {

class TDbfFile;

class TDbfParser : public TCustomExpressionParser {
 public:
  explicit TDbfParser(TDbfFile* dbfFile = nullptr);
  ~TDbfParser() override;

  void RegisterVocabulary() override;
  void ResolveUnknownName(const std::string& name) override;
  std::string GetExpressionText() const override { return FExpressionText; }
  TExprResultKind GetResultType() const override;
  void ClearCompiled() override;

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

 private:
  std::string FExpressionText;
  TDbfFile* FDbfFile;
  int32_t FResultLength = 0;
  bool FIsExpression = true;
  TExprResultKind FFieldType = rkUnknown;
  bool FCaseInsensitive = true;
  bool FRawStringFields = true;
};

}  // namespace dbf
