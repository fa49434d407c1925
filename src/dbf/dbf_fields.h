// Field definitions of a table: one TDbfFieldDef per field (name, kind, native type code,
// size, decimals, place in the record, dBASE 7 value properties), collected in field order by
// TDbfFieldDefs, which also carries the table's version code and the float-fields setting
// that decide a numeric field's kind. The collection owns its definitions; a definition owns
// its value buffers. Setting the native type, size or decimals re-applies the type's size rules.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/field_type.h"

namespace dbf {

// Longest stored lengths of text (C) and number (N, F) fields.
constexpr int32_t kMaxCharSize = 65534;
constexpr int32_t kMaxNumericSize = 20;

using platform::TFieldType;
using enum platform::TFieldType;

class TDbfFieldDefs;

class TDbfFieldDef {
 public:
  explicit TDbfFieldDef(TDbfFieldDefs* collection);
  TDbfFieldDef(const TDbfFieldDef&) = delete;
  TDbfFieldDef& operator=(const TDbfFieldDef&) = delete;

  // Upper case, as read from the descriptor.
  std::string FieldName;
  // dBASE 7 property kind 1: the field must have a value.
  bool Required = false;

  TFieldType FieldType() const { return FFieldType; }
  // Stores the kind, derives the native type (FieldKindToNative) and re-applies the size
  // rules. Throws EDbfError for a kind no table can hold.
  void SetFieldType(TFieldType kind);
  // The native type code, upper case; 0 when not recognised.
  char NativeFieldType() const { return FNativeFieldType; }
  // Upper-cases the code, derives the field kind (ftUnknown and code 0 for an unknown code)
  // and re-applies the size rules.
  void SetNativeFieldType(char type);
  // Bytes of the field that are decoded (may be less than its stored length: N is at most 20).
  int32_t Size() const { return FSize; }
  void SetSize(int32_t size);
  int32_t Precision() const { return FPrecision; }
  void SetPrecision(int32_t precision);

  // The native type of the field's kind: C N L D @ I + B M G; EDbfError (naming the field
  // and the kind's ordinal) for any other kind, leaving the native type 0.
  void FieldKindToNative();
  // The default size and decimals of the field's kind (kinds without one keep theirs).
  void SetDefaultSize();
  // Copies everything a definition holds, value buffers included; FCopyFrom becomes the
  // source's index.
  void CopyFrom(const TDbfFieldDef& source);
  // Copies what a field list states (name, kind, size, decimals, required) and fills in the
  // rest as for a new field: native type, default size, empty value buffers, offsets 0.
  // `index` is the source's position in its list.
  void CopyFromFieldSpec(const std::string& name, TFieldType kind, int32_t size, int32_t precision,
                         bool required, int32_t index);

  bool IsBlob() const;    // a memo kind: M, B or G
  int32_t Index() const;  // 0-based position in the collection; -1 when not in one

  // The default, minimum and maximum value bytes: one block of 3 x Size bytes, reallocated
  // (zeroed) only when Size changed since the last allocation.
  void AllocValueBuffers();
  uint8_t* DefaultBuf() { return FValueBufSize ? FValueBuf.get() : nullptr; }
  uint8_t* MinBuf() { return FValueBufSize ? FValueBuf.get() + FValueBufSize : nullptr; }
  uint8_t* MaxBuf() { return FValueBufSize ? FValueBuf.get() + 2 * FValueBufSize : nullptr; }
  int32_t ValueBufSize() const { return FValueBufSize; }

  bool FHasDefault = false;
  bool FHasMin = false;
  bool FHasMax = false;
  // File offset of the stored next autoincrement value (dBASE 7 type + only; else 0).
  int32_t FAutoIncOffset = 0;
  int32_t FCopyFrom = -1;
  // Byte offset of the field in the record; the deletion flag is byte 0, so the first field
  // is at 1.
  int32_t FOffset = 0;
  uint32_t FAutoIncValue = 0;
  bool FIsLockField = false;

 private:
  void NativeToFieldKind();
  void CheckSizePrecision();

  TDbfFieldDefs* FCollection;
  TFieldType FFieldType = ftUnknown;
  char FNativeFieldType = 0;
  int32_t FSize = 0;
  int32_t FPrecision = 0;
  int32_t FValueBufSize = 0;
  std::unique_ptr<uint8_t[]> FValueBuf;
};

class TDbfFieldDefs {
 public:
  TDbfFieldDefs() = default;
  TDbfFieldDefs(const TDbfFieldDefs&) = delete;
  TDbfFieldDefs& operator=(const TDbfFieldDefs&) = delete;

  // Appends a new, empty definition and returns it.
  TDbfFieldDef& Add();
  void Clear() { FItems.clear(); }
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // 0-based; the index must be below Count().
  TDbfFieldDef& Items(int32_t index) { return *FItems[static_cast<size_t>(index)]; }
  const TDbfFieldDef& Items(int32_t index) const { return *FItems[static_cast<size_t>(index)]; }
  int32_t IndexOf(const TDbfFieldDef* def) const;

  uint8_t DbfVersion() const { return FDbfVersion; }
  void SetDbfVersion(uint8_t version) { FDbfVersion = version; }
  bool UseFloatFields() const { return FUseFloatFields; }
  void SetUseFloatFields(bool flag) { FUseFloatFields = flag; }

 private:
  std::vector<std::unique_ptr<TDbfFieldDef>> FItems;
  uint8_t FDbfVersion = 0;
  bool FUseFloatFields = true;
};

}  // namespace dbf
