#include "export/dbf_file_source.h"

#include <charconv>

#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"
#include "platform/format.h"
#include "platform/settings.h"

namespace exporter {
namespace {

template <typename T>
void AppendInteger(T value, std::string& text) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
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
    case ftFMTBcd: return true;
    default: return false;
  }
}

TDbfFileSource::TDbfFileSource(dbf::TDbfFile& table) : FTable(table), FScanner(table) {
  int32_t longest = 0;
  for (int32_t i = 0; i < table.FieldDefs().Count(); ++i)
    longest = std::max(longest, table.FieldDefs().Items(i).Size());
  FText.resize(static_cast<size_t>(longest) + 1);
}

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

int TDbfFileSource::FieldCount() { return FTable.FieldDefs().Count(); }

bool TDbfFileSource::IsRightAligned(int field) {
  return IsNumericKind(FTable.FieldDefs().Items(field).FieldType());
}

void TDbfFileSource::AppendDateTime(platform::TDateTime value, bool withTime, std::string& text) {
  const platform::TPlatformSettings& settings = platform::Settings();
  char buffer[128];
  text.append(buffer, platform::FormatDateTimeBuf(buffer, sizeof buffer, settings.ShortDateFormat,
                                                  value));
  int hour, minute, second, ms;
  platform::DecodeTime(value, hour, minute, second, ms);
  if (!withTime || (hour == 0 && minute == 0 && second == 0)) return;
  text += ' ';
  text.append(buffer, platform::FormatDateTimeBuf(buffer, sizeof buffer, settings.LongTimeFormat,
                                                  value));
}

void TDbfFileSource::FieldText(int field, std::string& text) {
  using namespace dbf;
  text.clear();
  const TDbfFieldDef& def = FTable.FieldDefs().Items(field);
  int16_t small = 0;
  int32_t integer = 0;
  int64_t large = 0;
  double real = 0;
  switch (def.FieldType()) {
    case ftString:
      if (FTable.GetFieldDataFromDef(def, ftString, FText.data(), FRecord))
        platform::AppendUtf8(FTable.UseCodePage(), std::string_view(FText.data()), text);
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
      if (FTable.GetFieldDataFromDef(def, ftFloat, &real, FRecord)) {
        char buffer[platform::kFloatTextMax];
        text.append(buffer, platform::FloatToStrBuf(buffer, real,
                                                    platform::Settings().DecimalSeparator));
      }
      break;
    case ftBoolean:
      if (FTable.GetFieldDataFromDef(def, ftBoolean, &small, FRecord))
        text += small ? "True" : "False";
      break;
    case ftDate:
      if (FTable.GetFieldDataFromDef(def, ftDate, &integer, FRecord))
        AppendDateTime(DayNumberToDateTime(integer), false, text);
      break;
    case ftDateTime:
      if (FTable.GetFieldDataFromDef(def, ftDateTime, &real, FRecord))
        AppendDateTime(BDETimeStampToDateTime(real), true, text);
      break;
    default:
      break;  // memo kinds give no text until the table reads its memo file
  }
}

}  // namespace exporter
