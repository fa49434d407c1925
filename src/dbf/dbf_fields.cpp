#include "dbf/dbf_fields.h"

#include <algorithm>

namespace dbf {
namespace {

// Size limits of the native types.
constexpr int32_t kMaxCharSize = 65534;
constexpr int32_t kMaxNumericSize = 20;
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
