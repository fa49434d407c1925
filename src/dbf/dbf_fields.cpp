#include "dbf/dbf_fields.h"

#include <algorithm>
#include <cstring>

#include <fmt/printf.h>

#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/exceptions.h"

namespace dbf {
namespace {

// Numeric fields of at most this many digits are small integers, whatever the float setting.
constexpr int32_t kSmallintDigits = 4;
constexpr int32_t kIntegerDigits = 9;
constexpr int32_t kMemoSize = 10;

}  // namespace

TDbfFieldDef::TDbfFieldDef(TDbfFieldDefs* collection) : FCollection(collection) {}

void TDbfFieldDef::SetNativeFieldType(char type) {
  if (type >= 'a' && type <= 'z') type = static_cast<char>(type - 'a' + 'A');
  FNativeFieldType = type;
  NativeToFieldKind();
  CheckSizePrecision();
}

void TDbfFieldDef::SetSize(int32_t size) {
  FSize = size;
  CheckSizePrecision();
}

void TDbfFieldDef::SetPrecision(int32_t precision) {
  FPrecision = precision;
  CheckSizePrecision();
}

void TDbfFieldDef::NativeToFieldKind() {
  switch (FNativeFieldType) {
    case 'C':
      FFieldType = ftString;
      break;
    case 'N':
    case 'F':
      if (FPrecision > 0) {
        FFieldType = ftFloat;
      } else if (FSize <= kSmallintDigits) {
        FFieldType = ftSmallint;
      } else if (FCollection && FCollection->UseFloatFields()) {
        FFieldType = ftFloat;
      } else {
        FFieldType = FSize <= kIntegerDigits ? ftInteger : ftLargeint;
      }
      break;
    case 'L':
      FFieldType = ftBoolean;
      break;
    case 'D':
      FFieldType = ftDate;
      break;
    case 'T':
    case '@':
      FFieldType = ftDateTime;
      break;
    case 'I':
      FFieldType = ftInteger;
      break;
    case '+':
      FFieldType = ftAutoInc;
      break;
    case 'O':
      FFieldType = ftFloat;
      break;
    case 'M':
      FFieldType = ftMemo;
      break;
    case 'B':
      FFieldType = ftBlob;
      break;
    case 'G':
      FFieldType = ftDBaseOle;
      break;
    default:
      FFieldType = ftUnknown;
      FNativeFieldType = 0;
  }
}

void TDbfFieldDef::CheckSizePrecision() {
  auto fixed = [this](int32_t size) {
    FSize = size;
    FPrecision = 0;
  };
  switch (FNativeFieldType) {
    case 'C':
      fixed(std::clamp(FSize, 0, kMaxCharSize));
      break;
    case 'N':
    case 'F':
      if (FSize < 1) FSize = 0;
      if (FSize > kMaxNumericSize) FSize = kMaxNumericSize;
      if (FPrecision > FSize - 2) FPrecision = FSize - 2;
      if (FPrecision < 0) FPrecision = 0;
      break;
    case 'L':
      fixed(1);
      break;
    case 'D':
    case '@':
    case 'O':
      fixed(8);
      break;
    case 'I':
    case '+':
      fixed(4);
      break;
    case 'M':
    case 'B':
    case 'G':
      fixed(kMemoSize);
      break;
    default:
      break;  // T keeps what it has; unknown types are rejected by the reader
  }
}

void TDbfFieldDef::SetFieldType(TFieldType kind) {
  FFieldType = kind;
  FieldKindToNative();
  CheckSizePrecision();
}

void TDbfFieldDef::FieldKindToNative() {
  const bool dBase7 = FCollection && FCollection->DbfVersion() == kDbfVersionDBase7;
  switch (FFieldType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
      FNativeFieldType = 'C';
      break;
    case ftSmallint:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftLargeint:
      FNativeFieldType = 'N';
      break;
    case ftInteger:
      FNativeFieldType = dBase7 ? 'I' : 'N';
      break;
    case ftBoolean:
      FNativeFieldType = 'L';
      break;
    case ftDate:
      FNativeFieldType = 'D';
      break;
    case ftDateTime:
      FNativeFieldType = '@';
      break;
    case ftAutoInc:
      FNativeFieldType = '+';
      break;
    case ftBlob:
      FNativeFieldType = 'B';
      break;
    case ftMemo:
      FNativeFieldType = 'M';
      break;
    case ftDBaseOle:
      FNativeFieldType = 'G';
      break;
    default:
      FNativeFieldType = 0;
      throw platform::EDbfError(
          fmt::sprintf(STRING_INVALID_VCL_FIELD_TYPE, FieldName, static_cast<int>(FFieldType)));
  }
}

void TDbfFieldDef::SetDefaultSize() {
  const bool dBase7 = FCollection && FCollection->DbfVersion() == kDbfVersionDBase7;
  auto set = [this](int32_t size, int32_t precision) {
    FSize = size;
    FPrecision = precision;
  };
  switch (FFieldType) {
    case ftSmallint:
    case ftWord:
      set(4, 0);
      break;
    case ftInteger:
      set(dBase7 ? 4 : 9, 0);
      break;
    case ftFloat:
      set(18, 9);
      break;
    case ftCurrency:
      set(16, 2);
      break;
    case ftLargeint:
      set(18, 0);
      break;
    case ftDate:
    case ftDateTime:
      set(8, 0);
      break;
    default:
      break;
  }
}

void TDbfFieldDef::CopyFrom(const TDbfFieldDef& source) {
  FieldName = source.FieldName;
  FFieldType = source.FFieldType;
  FNativeFieldType = source.FNativeFieldType;
  FSize = source.FSize;
  FPrecision = source.FPrecision;
  Required = source.Required;
  FIsLockField = source.FIsLockField;
  FValueBuf.reset();
  FValueBufSize = source.FValueBufSize;
  if (FValueBufSize > 0) {
    const size_t bytes = 3 * static_cast<size_t>(FValueBufSize);
    FValueBuf = std::make_unique<uint8_t[]>(bytes);
    std::memcpy(FValueBuf.get(), source.FValueBuf.get(), bytes);
  }
  FHasDefault = source.FHasDefault;
  FHasMin = source.FHasMin;
  FHasMax = source.FHasMax;
  FAutoIncOffset = source.FAutoIncOffset;
  FOffset = source.FOffset;
  FAutoIncValue = source.FAutoIncValue;
  FCopyFrom = source.Index();
}

void TDbfFieldDef::CopyFromFieldSpec(const std::string& name, TFieldType kind, int32_t size,
                                     int32_t precision, bool required, int32_t index) {
  FieldName = name;
  FFieldType = kind;
  FSize = size;
  FPrecision = precision;
  Required = required;
  FCopyFrom = index;
  FIsLockField = false;
  FieldKindToNative();
  SetDefaultSize();
  AllocValueBuffers();
  FHasDefault = FHasMin = FHasMax = false;
  FAutoIncOffset = 0;
  FOffset = 0;
  FAutoIncValue = 0;
}

bool TDbfFieldDef::IsBlob() const {
  return FNativeFieldType == 'M' || FNativeFieldType == 'B' || FNativeFieldType == 'G';
}

int32_t TDbfFieldDef::Index() const {
  return FCollection ? FCollection->IndexOf(this) : -1;
}

void TDbfFieldDef::AllocValueBuffers() {
  if (FValueBufSize == FSize) return;
  FValueBuf.reset();
  FValueBufSize = FSize;
  if (FSize > 0) FValueBuf = std::make_unique<uint8_t[]>(3 * static_cast<size_t>(FSize));
}

TDbfFieldDef& TDbfFieldDefs::Add() {
  FItems.push_back(std::make_unique<TDbfFieldDef>(this));
  return *FItems.back();
}

int32_t TDbfFieldDefs::IndexOf(const TDbfFieldDef* def) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == def) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace dbf
