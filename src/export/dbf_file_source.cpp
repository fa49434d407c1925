#include "export/dbf_file_source.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"
#include "platform/settings.h"
#include "platform/word_scan.h"

namespace exporter {
namespace {

// The parts of a stored date "YYYYMMDD" when it is eight digits of a real date.
bool PlainDate(const uint8_t* field, platform::TDateTimeParts& parts) {
  using platform::kEveryByte;
  const uint64_t word = platform::LoadWord(reinterpret_cast<const char*>(field));
  // Digits are the bytes 0x30..0x39: high nibble 3, and still 3 after adding 6.
  constexpr uint64_t kHighNibbles = kEveryByte * 0xF0;
  if ((word & kHighNibbles) != kEveryByte * 0x30 ||
      ((word + kEveryByte * 6) & kHighNibbles) != kEveryByte * 0x30)
    return false;
  const uint64_t digits = word - kEveryByte * '0';
  auto digit = [digits](int i) { return static_cast<int>((digits >> (8 * i)) & 0xFF); };
  parts.Year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  parts.Month = digit(4) * 10 + digit(5);
  parts.Day = digit(6) * 10 + digit(7);
  return parts.Year >= 1 && parts.Day >= 1 &&
         parts.Day <= platform::DaysInMonth(parts.Year, parts.Month);
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
      FCodePage(table.UseCodePage()),
      FScanner(table),
      FDecimalSeparator(platform::Settings().DecimalSeparator),
      FShortDate(platform::Settings().ShortDateFormat),
      FLongTime(platform::Settings().LongTimeFormat),
      FPlainDate(PlainPattern(platform::Settings().ShortDateFormat)),
      FPlainTime(PlainPattern(platform::Settings().LongTimeFormat)) {
  const dbf::TDbfFieldDefs& defs = table.FieldDefs();
  for (int i = 0; i < defs.Count(); ++i) {
    const dbf::TDbfFieldDef& def = defs.Items(i);
    FCells.push_back({&def, AppendOf(def), static_cast<uint32_t>(def.FOffset),
                      static_cast<uint32_t>(def.Size())});
  }
}

TDbfFileSource::TAppend TDbfFileSource::AppendOf(const dbf::TDbfFieldDef& def) {
  using namespace dbf;
  switch (def.FieldType()) {
    case ftString:
      return &TDbfFileSource::AppendText;
    case ftSmallint:
      return &TDbfFileSource::AppendInteger<int16_t, ftSmallint>;
    case ftInteger:
    case ftAutoInc:
      return &TDbfFileSource::AppendInteger<int32_t, ftInteger>;
    case ftLargeint:
      return &TDbfFileSource::AppendInteger<int64_t, ftLargeint>;
    case ftFloat:
    case ftCurrency:
      return IsText(def) ? &TDbfFileSource::AppendDecimalText : &TDbfFileSource::AppendFloat;
    case ftBoolean:
      return &TDbfFileSource::AppendLogical;
    case ftDate:
      return &TDbfFileSource::AppendDate;
    case ftDateTime:
      return &TDbfFileSource::AppendDateTime;
    case ftMemo:
    case ftBlob:
    case ftDBaseOle:
      return &TDbfFileSource::AppendMemo;
    default:
      return nullptr;
  }
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

int TDbfFileSource::FieldCount() {
  return static_cast<int>(FCells.size());
}

bool TDbfFileSource::IsRightAligned(int field) {
  return IsNumericKind(FCells[static_cast<size_t>(field)].Def->FieldType());
}

bool TDbfFileSource::IsPlainText(int field) {
  using namespace dbf;
  switch (const TFieldType kind = FCells[static_cast<size_t>(field)].Def->FieldType()) {
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

// The characters as the decoder gives them (trailing blanks cut, up to a zero byte), converted
// in place into the buffer.
void TDbfFileSource::AppendText(const TCellPlan& cell, TTextBuffer& text) {
  const char* field = reinterpret_cast<const char*>(FRecord + cell.Offset);
  size_t length = cell.Size;
  while (length > 0 && field[length - 1] == ' ') --length;
  length = platform::FindByte(field, length, 0);
  char* out = text.Reserve(length * platform::kUtf8Growth);
  text.Commit(platform::ToUtf8Buf(FCodePage, std::string_view(field, length), out));
}

// Most stored numbers format straight from their digits; the rest go through a double.
void TDbfFileSource::AppendDecimalText(const TCellPlan& cell, TTextBuffer& text) {
  // The text keeps at most the stored digits, a sign, a separator and a leading zero.
  char* out = text.Reserve(std::max<size_t>(cell.Size + 2, platform::kFloatTextMax));
  const std::string_view digits(reinterpret_cast<const char*>(FRecord + cell.Offset), cell.Size);
  const size_t length = platform::DecimalTextToStrBuf(digits, FDecimalSeparator, out);
  if (length != 0) return text.Commit(length);
  AppendFloat(cell, text);
}

void TDbfFileSource::AppendFloat(const TCellPlan& cell, TTextBuffer& text) {
  double value = 0;
  if (!FTable.GetFieldDataFromDef(*cell.Def, dbf::ftFloat, &value, FRecord)) return;
  char* out = text.Reserve(platform::kFloatTextMax);
  text.Commit(platform::FloatToStrBuf(out, value, FDecimalSeparator));
}

template <typename T, dbf::TFieldType Kind>
void TDbfFileSource::AppendInteger(const TCellPlan& cell, TTextBuffer& text) {
  T value = 0;
  if (!FTable.GetFieldDataFromDef(*cell.Def, Kind, &value, FRecord)) return;
  constexpr size_t kDigits = 24;
  char* out = text.Reserve(kDigits);
  text.Commit(static_cast<size_t>(std::to_chars(out, out + kDigits, value).ptr - out));
}

// As the decoder reads a logical: its first character that is not blank says T (or t) for
// true, anything else for false; all blank is no value.
void TDbfFileSource::AppendLogical(const TCellPlan& cell, TTextBuffer& text) {
  static constexpr char kTrue[8] = "True";
  static constexpr char kFalse[8] = "False";
  const char* field = reinterpret_cast<const char*>(FRecord + cell.Offset);
  size_t i = 0;
  while (i < cell.Size && field[i] == ' ') ++i;
  if (i == cell.Size) return;
  if (field[i] == 'T' || field[i] == 't')
    text.AppendBlock(kTrue, 4);
  else
    text.AppendBlock(kFalse, 5);
}

void TDbfFileSource::AppendDate(const TCellPlan& cell, TTextBuffer& text) {
  platform::TDateTimeParts parts;
  int32_t dayNumber = 0;
  if (cell.Def->NativeFieldType() == 'D' && cell.Size == 8 &&
      PlainDate(FRecord + cell.Offset, parts)) {
    // A plain stored date formats from its digits.
  } else if (FTable.GetFieldDataFromDef(*cell.Def, dbf::ftDate, &dayNumber, FRecord)) {
    parts = platform::DateTimeParts(dbf::DayNumberToDateTime(dayNumber));
  } else {
    return;
  }
  char* out = text.Reserve(FShortDate.MaxLength());
  text.Commit(FShortDate.Format(out, FShortDate.MaxLength(), parts));
}

// The date, and a blank and the time unless it is midnight.
void TDbfFileSource::AppendDateTime(const TCellPlan& cell, TTextBuffer& text) {
  double stamp = 0;
  if (!FTable.GetFieldDataFromDef(*cell.Def, dbf::ftDateTime, &stamp, FRecord)) return;
  const platform::TDateTimeParts parts = platform::DateTimeParts(dbf::BDETimeStampToDateTime(stamp));
  const size_t most = FShortDate.MaxLength() + 1 + FLongTime.MaxLength();
  char* const out = text.Reserve(most);
  size_t length = FShortDate.Format(out, most, parts);
  if (parts.Hour != 0 || parts.Minute != 0 || parts.Second != 0) {
    out[length++] = ' ';
    length += FLongTime.Format(out + length, most - length, parts);
  }
  text.Commit(length);
}

void TDbfFileSource::AppendMemo(const TCellPlan& cell, TTextBuffer& text) {
  if (!FTable.ReadMemo(*cell.Def, FRecord, FMemo)) return;
  char* out = text.Reserve(FMemo.size() * platform::kUtf8Growth);
  text.Commit(platform::ToUtf8Buf(FCodePage, FMemo, out));
}

void TDbfFileSource::FieldText(int field, TTextBuffer& text) {
  const TCellPlan& cell = FCells[static_cast<size_t>(field)];
  if (cell.Append != nullptr) (this->*cell.Append)(cell, text);
}

}  // namespace exporter
