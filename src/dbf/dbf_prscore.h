// The expression parser core: compiles a text into a flat chain of expression records in
// evaluation order and runs it. Each record writes straight into the argument buffer of the
// record that uses it; the last one writes into the result buffer. Buffers are allocated at
// compile time and reused by every RunChain. A subclass supplies the vocabulary (it calls
// RegisterVocabulary from its own constructor) and resolves names the vocabulary lacks.
// Errors in a text are platform::EParserException; one parser is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_prsdef.h"

namespace dbf {

using TExprCollection = TNoOwnerCollection<TExprWord>;

class TCustomExpressionParser {
 public:
  TCustomExpressionParser();
  virtual ~TCustomExpressionParser();
  TCustomExpressionParser(const TCustomExpressionParser&) = delete;
  TCustomExpressionParser& operator=(const TCustomExpressionParser&) = delete;

  // Fills FVocabulary.
  virtual void RegisterVocabulary() = 0;
  // Called while tokenizing for a name that is neither a constant nor a vocabulary word; may
  // define a variable of that name, or throw.
  virtual void ResolveUnknownName(const std::string& name) = 0;
  // Makes the compiled chain use `newWord` wherever it used `oldWord`.
  virtual void SubstituteWord(TExprWord* oldWord, TExprWord* newWord);
  virtual std::string GetExpressionText() const = 0;
  virtual TExprResultKind GetResultType() const;
  // Releases the chain and the constants created while compiling.
  virtual void ClearCompiled();

  // Compiles `text` (an empty text does nothing). The caller clears an earlier chain first:
  // it still uses its constants. On failure no chain exists and the error propagates.
  void CompileText(std::string_view text);
  // Evaluates once; the value is then at ResultBuffer() (text NUL-terminated).
  void RunChain();
  const char* ResultBuffer() const { return FResultBuf; }
  bool IsCompiled() const { return FFirstRec != nullptr; }

  // The caller keeps the value at the address and may change it between evaluations. A string
  // variable's address holds a text pointer; fixedLength -1: NUL-terminated text.
  void DefineIntegerVariable(std::string_view name, int32_t* value);
  void DefineLargeIntVariable(std::string_view name, int64_t* value);
  void DefineDateTimeVariable(std::string_view name, double* value);
  void DefineFloatVariable(std::string_view name, double* value);
  void DefineStringVariable(std::string_view name, const char** value, int32_t fixedLength);
  // Inserts the word; an existing word of that name is substituted in the chain and freed.
  void AddOrReplaceWord(std::unique_ptr<TExprWord> word);
  // Removes and frees the newest word of that name (substituting `newWord` in the chain when
  // given, and inserting it). Without a new word this is refused while a chain exists.
  void RemoveOrReplaceWord(std::string_view name, std::unique_ptr<TExprWord> newWord);

  // Deepest nesting of a compiled expression: bounds every recursion over the tree.
  static constexpr int kMaxDepth = 1000;

 protected:
  // A half-open range of the token list; the tree builder works on ranges, never on copies.
  struct TWordRange {
    int32_t First;
    int32_t Last;  // one past the end
    int32_t Length() const { return Last - First; }
  };

  void Tokenize(std::string_view text, TExprCollection& list);
  void CheckSyntax(TExprCollection& list);
  TExprRecord* BuildTree(const TExprCollection& list, TWordRange range, int level, int& height);
  void CheckArgumentTypes(TExprRecord* rec);
  TExprRecord* FoldConstants(TExprRecord* rec);
  void LinkChain(TExprRecord* rec, char** bufferVar, int32_t* sizeVar, char** positionVar);
  // The result kind of the chain's last record, whatever a subclass reports.
  TExprResultKind ChainResultType() const;

  const char FHexPrefix = '$';
  const char FArgSeparator = ',';
  const char FDecimalPoint = '.';
  // Set only by a subclass's constructor.
  bool FFoldConstants = true;
  TOCollection<TExprWord> FConstants{10};
  TExprRecord* FLastRec = nullptr;
  TExprRecord* FFirstRec = nullptr;
  char* FResultBuf = nullptr;
  char* FResultPos = nullptr;
  int32_t FResultSize = 32;
  TExpressList FVocabulary{30};

 private:
  TExprRecord* NewRecord();
  void ReadToken(std::string_view s, size_t& p, size_t& start, bool& isConstant) const;
  void ReadNumber(std::string_view s, size_t& p, bool hex) const;
  void AddToken(TExprCollection& list, std::string_view token, bool isConstant);
  TExprWord* FindWord(std::string_view name) const;
  TExprRecord* BuildArgument(const TExprCollection& list, TWordRange range, int level, int& height);
  TExprRecord* FoldToConstant(TExprRecord* rec);

  // Every record made while compiling; freed by ClearCompiled or a failed compilation.
  std::vector<std::unique_ptr<TExprRecord>> FRecords;
};

}  // namespace dbf
