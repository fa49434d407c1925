#include "export/dbf_file_source.h"

#include <charconv>
#include <cstring>

#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"
#include "platform/settings.h"

namespace exporter {
namespace {

// The parts of a stored date "YYYYMMDD" when it is eight digits of a real date.
bool PlainDate(const uint8_t* field, platform::TDateTimeParts& parts) {
  int value[8];
  for (int i = 0; i < 8; ++i) {
    if (field[i] < '0' || field[i] > '9') return false;
    value[i] = field[i] - '0';
  }
  parts.Year = value[0] * 1000 + value[1] * 100 + value[2] * 10 + value[3];
  parts.Month = value[4] * 10 + value[5];
  parts.Day = value[6] * 10 + value[7];
  return parts.Year >= 1 && parts.Month >= 1 && parts.Month <= 12 && parts.Day >= 1 &&
         parts.Day <= platform::DaysInMonth(parts.Year, parts.Month);
}

template <typename T>
void AppendInteger(T value, std::string& text) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

// Numbers stored as decimal text (N, F); the others are binary.
bool IsText(const dbf::TDbfFieldDef& def) {
  return def.NativeFieldType() == 'N' || def.NativeFieldType() == 'F';
}

bool PlainPattern(const std::string& pattern) {
  return pattern.find_first_of("&<>\"") == std::string::npos;
}

}  // namespace

bool IsNumericKind(dbf::TFieldType kind) {
  using namespace dbf;
  switch (kind) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd:
      return true;
    default:
      return false;
  }
}

TDbfFileSource::TDbfFileSource(dbf::TDbfFile& table)
    : FTable(table),
      FScanner(table),
      FDecimalSeparator(platform::Settings().DecimalSeparator),
      FShortDate(platform::Settings().ShortDateFormat),
      FLongTime(platform::Settings().LongTimeFormat),
      FPlainDate(PlainPattern(platform::Settings().ShortDateFormat)),
      FPlainTime(PlainPattern(platform::Settings().LongTimeFormat)) {}

void TDbfFileSource::GoFirst() {
  FScanner.Restart();
  SkipDeleted();
}

void TDbfFileSource::GoNext() {
  if (FRecord != nullptr) SkipDeleted();
}

void TDbfFileSource::SkipDeleted() {
  int32_t recNo = 0;
  while (FScanner.Next(recNo, FRecord))
    if (FRecord[0] != dbf::kRecordDeleted && (!FFilter || FFilter(FRecord))) return;
  FRecord = nullptr;
}

int TDbfFileSource::FieldCount() {
  return FTable.FieldDefs().Count();
}

bool TDbfFileSource::IsRightAligned(int field) {
  return IsNumericKind(FTable.FieldDefs().Items(field).FieldType());
}

bool TDbfFileSource::IsPlainText(int field) {
  using namespace dbf;
  switch (const TFieldType kind = FTable.FieldDefs().Items(field).FieldType()) {
    case ftDate:
      return FPlainDate;
    case ftDateTime:
      return FPlainDate && FPlainTime;
    case ftBoolean:
      return true;
    default:
      return IsNumericKind(kind);
  }
}

// A text field's characters as the decoder gives them (trailing blanks cut, up to a zero
// byte), read in place.
std::string_view TDbfFileSource::StoredText(const dbf::TDbfFieldDef& def) const {
  const char* field = reinterpret_cast<const char*>(FRecord + def.FOffset);
  size_t length = static_cast<size_t>(def.Size());
  while (length > 0 && field[length - 1] == ' ') --length;
  const void* zero = std::memchr(field, 0, length);
  if (zero != nullptr) length = static_cast<size_t>(static_cast<const char*>(zero) - field);
  return std::string_view(field, length);
}

void TDbfFileSource::AppendFloat(const dbf::TDbfFieldDef& def, std::string& text) {
  char buffer[platform::kFloatTextMax];
  if (IsText(def)) {
    // Most stored numbers format straight from their digits.
    const std::string_view digits(reinterpret_cast<const char*>(FRecord + def.FOffset),
                                  static_cast<size_t>(def.Size()));
    const size_t length = platform::DecimalTextToStrBuf(digits, FDecimalSeparator, buffer);
    if (length != 0) return void(text.append(buffer, length));
  }
  double value = 0;
  if (FTable.GetFieldDataFromDef(def, dbf::ftFloat, &value, FRecord))
    text.append(buffer, platform::FloatToStrBuf(buffer, value, FDecimalSeparator));
}

void TDbfFileSource::AppendDate(const dbf::TDbfFieldDef& def, std::string& text) {
  platform::TDateTimeParts parts;
  int32_t dayNumber = 0;
  if (def.NativeFieldType() == 'D' && def.Size() == 8 && PlainDate(FRecord + def.FOffset, parts)) {
    // A plain stored date formats from its digits.
  } else if (FTable.GetFieldDataFromDef(def, dbf::ftDate, &dayNumber, FRecord)) {
    parts = platform::DateTimeParts(dbf::DayNumberToDateTime(dayNumber));
  } else {
    return;
  }
  char buffer[128];
  text.append(buffer, FShortDate.Format(buffer, sizeof buffer, parts));
}

// The date, and a blank and the time unless it is midnight.
void TDbfFileSource::AppendDateTime(platform::TDateTime value, std::string& text) {
  const platform::TDateTimeParts parts = platform::DateTimeParts(value);
  char buffer[128];
  text.append(buffer, FShortDate.Format(buffer, sizeof buffer, parts));
  if (parts.Hour == 0 && parts.Minute == 0 && parts.Second == 0) return;
  text += ' ';
  text.append(buffer, FLongTime.Format(buffer, sizeof buffer, parts));
}

void TDbfFileSource::FieldText(int field, std::string& text) {
  using namespace dbf;
  const TDbfFieldDef& def = FTable.FieldDefs().Items(field);
  int16_t small = 0;
  int32_t integer = 0;
  int64_t large = 0;
  double real = 0;
  switch (def.FieldType()) {
    case ftString:
      platform::AppendUtf8(FTable.UseCodePage(), StoredText(def), text);
      break;
    case ftSmallint:
      if (FTable.GetFieldDataFromDef(def, ftSmallint, &small, FRecord)) AppendInteger(small, text);
      break;
    case ftInteger:
    case ftAutoInc:
      if (FTable.GetFieldDataFromDef(def, ftInteger, &integer, FRecord))
        AppendInteger(integer, text);
      break;
    case ftLargeint:
      if (FTable.GetFieldDataFromDef(def, ftLargeint, &large, FRecord)) AppendInteger(large, text);
      break;
    case ftFloat:
    case ftCurrency:
      AppendFloat(def, text);
      break;
    case ftBoolean:
      if (FTable.GetFieldDataFromDef(def, ftBoolean, &small, FRecord))
        text += small ? "True" : "False";
      break;
    case ftDate:
      AppendDate(def, text);
      break;
    case ftDateTime:
      if (FTable.GetFieldDataFromDef(def, ftDateTime, &real, FRecord))
        AppendDateTime(BDETimeStampToDateTime(real), text);
      break;
    case ftMemo:
    case ftBlob:
    case ftDBaseOle:
      if (FTable.ReadMemo(def, FRecord, FMemo))
        platform::AppendUtf8(FTable.UseCodePage(), FMemo, text);
      break;
    default:
      break;
  }
}

}  // namespace exporter
