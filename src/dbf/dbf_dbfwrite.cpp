// The write side of TDbfFile: encoding values into record bytes, new records, autoincrement
// numbers, appending, editing with record locks, the lock field and creating a table.
#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "dbf/dbf_common.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/byte_order.h"
#include "platform/exceptions.h"
#include "platform/system.h"

namespace dbf {
namespace {

constexpr uint32_t kIntegerSignFlip = 0x80000000u;
constexpr uint64_t kDoubleSignBit = 0x8000000000000000ull;
// Text dates: YYYYMMDD, then hhmmss for date-time text.
constexpr int32_t kDateTextLength = 8;
constexpr int32_t kDateTimeTextLength = 14;
// Day number of 31 December 9999.
constexpr int32_t kLastDayNumber = 3652059;
// Date-time fields created as text (FCopyDateTimeAsString) hold this many characters.
constexpr int32_t kDateTimeAsStringSize = 22;
// Version bytes of new tables, and the bits a memo field adds to them.
constexpr uint8_t kNewVersionDBase = 0x03;
constexpr uint8_t kNewVersionFoxPro = 0x05;
constexpr uint8_t kNewVersionDBase7 = 0x04;
constexpr uint8_t kMemoBitsDBase3 = 0x80;
constexpr uint8_t kMemoBitsFoxPro = 0xF0;
constexpr uint8_t kMemoBitsDBase4 = 0x88;
// A number text never needs more room than this.
constexpr size_t kNumberTextCapacity = 64;

bool IsBinaryType(char native) {
  return native == 'I' || native == '+' || native == '@' || native == 'O';
}

template <typename T>
T Read(const void* source) {
  T value;
  std::memcpy(&value, source, sizeof value);
  return value;
}

// A value handed to SetFieldData, read as its kind states: a whole number, a real number, or
// none (a kind that carries no number, or text that is not one).
struct TSourceValue {
  enum { None, Integer, Real } Form = None;
  int64_t IntegerValue = 0;
  double RealValue = 0;

  double AsReal() const { return Form == Integer ? double(IntegerValue) : RealValue; }
  // The value as a whole number; false for fractions, non-numbers and what int64 cannot hold.
  bool AsInteger(int64_t& value) const {
    if (Form == Integer) {
      value = IntegerValue;
      return true;
    }
    if (Form != Real || !std::isfinite(RealValue) || std::trunc(RealValue) != RealValue ||
        std::fabs(RealValue) >= 9.2e18)
      return false;
    value = static_cast<int64_t>(RealValue);
    return true;
  }
  std::string Text() const {
    return Form == Integer ? std::to_string(IntegerValue)
           : Form == Real  ? fmt::format("{}", RealValue)
                           : std::string("(not a number)");
  }
};

TSourceValue ParseNumberText(const char* text) {
  TSourceValue result;
  const char* end = text + std::strlen(text);
  while (text < end && *text == ' ') ++text;
  while (end > text && end[-1] == ' ') --end;
  auto integer = std::from_chars(text, end, result.IntegerValue);
  if (integer.ec == std::errc() && integer.ptr == end && text != end) {
    result.Form = TSourceValue::Integer;
    return result;
  }
  auto real = std::from_chars(text, end, result.RealValue);
  if (real.ec == std::errc() && real.ptr == end && text != end) result.Form = TSourceValue::Real;
  return result;
}

TSourceValue SourceValue(TFieldType kind, const void* source) {
  TSourceValue value;
  value.Form = TSourceValue::Integer;
  switch (kind) {
    case ftSmallint:
    case ftBoolean:
      value.IntegerValue = Read<int16_t>(source);
      break;
    case ftWord:
      value.IntegerValue = Read<uint16_t>(source);
      break;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
      value.IntegerValue = Read<int32_t>(source);
      break;
    case ftLargeint:
      value.IntegerValue = Read<int64_t>(source);
      break;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      value.Form = TSourceValue::Real;
      value.RealValue = Read<double>(source);
      break;
    case ftString:
      return ParseNumberText(static_cast<const char*>(source));
    default:
      value.Form = TSourceValue::None;
  }
  return value;
}

void PutText(uint8_t* field, int32_t size, const char* text, size_t length) {
  const size_t count = std::min(length, static_cast<size_t>(size));
  std::memcpy(field, text, count);
  std::memset(field + count, ' ', static_cast<size_t>(size) - count);
}

}  // namespace

void TDbfFile::CheckFits(const TDbfFieldDef& def, bool fits, const std::string& valueText) const {
  if (!fits)
    throw platform::EDbfError(
        fmt::format(STRING_VALUE_DOES_NOT_FIT, valueText, def.FieldName, def.Size()));
}

void TDbfFile::SetFieldData(int32_t fieldIndex, TFieldType kind, const void* source,
                            uint8_t* record) {
  const TDbfFieldDef& def = FFieldDefs.Items(fieldIndex);
  uint8_t* field = record + def.FOffset;
  const int32_t size = def.Size();
  const char native = def.NativeFieldType();
  if (!source) {
    std::memset(field, IsBinaryType(native) ? 0 : ' ', static_cast<size_t>(size));
    return;
  }
  switch (native) {
    case 'I':
    case '+':
    case 'O':
    case '@':
      return SetBinaryField(def, kind, source, field);
    default:
      break;
  }

  char text[kNumberTextCapacity];
  switch (kind) {
    case ftString: {
      const char* chars = static_cast<const char*>(source);
      PutText(field, size, chars, strnlen(chars, static_cast<size_t>(size)));
      return;
    }
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint: {
      int64_t value = 0;
      SourceValue(kind, source).AsInteger(value);
      CheckFits(def, IntegerFitsWidth(value, size), std::to_string(value));
      Int64ToStrWidth(size, reinterpret_cast<char*>(field), value);
      return;
    }
    case ftBoolean:
      std::memset(field, ' ', static_cast<size_t>(size));
      field[0] = Read<int16_t>(source) != 0 ? 'T' : 'F';
      return;
    case ftFloat:
    case ftCurrency: {
      const double value = Read<double>(source);
      CheckFits(def, FloatToField(size, def.Precision(), reinterpret_cast<char*>(field), value),
                fmt::format("{}", value));
      return;
    }
    case ftDate:
    case ftDateTime: {
      const platform::TDateTime dateTime = kind == ftDate
                                               ? DayNumberToDateTime(Read<int32_t>(source))
                                               : BDETimeStampToDateTime(Read<double>(source));
      // Text dates hold the years 1 to 9999.
      const bool inRange =
          dateTime >= DayNumberToDateTime(1) && dateTime < DayNumberToDateTime(kLastDayNumber + 1);
      CheckFits(def, size >= kDateTextLength && inRange, SourceValue(kind, source).Text());
      int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
      platform::DecodeDate(dateTime, year, month, day);
      platform::DecodeTime(dateTime, hour, minute, second, millisecond);
      // The time goes only into fields long enough for date-time text.
      const bool withTime = kind == ftDateTime && size >= kDateTimeTextLength;
      fmt::format_to_n(text, sizeof text, "{:04}{:02}{:02}{:02}{:02}{:02}", year, month, day, hour,
                       minute, second);
      std::memcpy(field, text, withTime ? kDateTimeTextLength : kDateTextLength);
      return;
    }
    default:
      return;  // memo kinds carry their block number as ftInteger
  }
}

// Types I and + hold a 32-bit whole number, O a double, @ timestamp milliseconds; a kind that
// carries no number writes nothing.
void TDbfFile::SetBinaryField(const TDbfFieldDef& def, TFieldType kind, const void* source,
                              uint8_t* field) {
  const TSourceValue value = SourceValue(kind, source);
  if (value.Form == TSourceValue::None && kind != ftString) return;
  CheckFits(def, value.Form != TSourceValue::None, value.Text());
  if (def.NativeFieldType() == 'I' || def.NativeFieldType() == '+') {
    int64_t integer = 0;
    CheckFits(def,
              value.AsInteger(integer) && integer >= std::numeric_limits<int32_t>::min() &&
                  integer <= std::numeric_limits<int32_t>::max(),
              value.Text());
    const auto stored = static_cast<uint32_t>(static_cast<int32_t>(integer));
    platform::PutBE32(field, stored ^ kIntegerSignFlip);
    return;
  }
  uint64_t bits = std::bit_cast<uint64_t>(value.AsReal());
  // O: positive numbers get the sign bit, negative ones all bits inverted, so that the bytes
  // sort as the numbers do.
  if (def.NativeFieldType() == 'O') bits = (bits & kDoubleSignBit) ? ~bits : bits | kDoubleSignBit;
  platform::PutBE64(field, bits);
}

void TDbfFile::InitRecord(uint8_t* record) {
  std::memset(record, ' ', static_cast<size_t>(FRecordSize));
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    TDbfFieldDef& def = FFieldDefs.Items(i);
    uint8_t* field = record + def.FOffset;
    if (IsBinaryType(def.NativeFieldType())) std::memset(field, 0, static_cast<size_t>(def.Size()));
    if (def.FHasDefault && def.DefaultBuf())
      std::memcpy(field, def.DefaultBuf(),
                  static_cast<size_t>(std::min(def.Size(), def.ValueBufSize())));
  }
}

void TDbfFile::ApplyAutoIncToBuffer(uint8_t* record) {
  if (!FAutoIncPresent) return;
  if (!LockPage(0, true)) throw platform::EDbfError(fmt::format(STRING_CANNOT_LOCK, FFileName));
  TPageLock headerLock(*this, 0);
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    TDbfFieldDef& def = FFieldDefs.Items(i);
    if (def.NativeFieldType() != '+' || def.FAutoIncOffset + 4 > FHeaderSize) continue;
    uint8_t* counter = FHeader.data() + def.FAutoIncOffset;
    // In shared access the file's counter is the truth; in exclusive access the value held.
    if (FNeedLocks) ReadChunk(counter, 4, def.FAutoIncOffset);
    const uint32_t next = FNeedLocks ? platform::GetLE32(counter) : def.FAutoIncValue;
    platform::PutBE32(record + def.FOffset, next ^ kIntegerSignFlip);
    def.FAutoIncValue = next + 1;
    platform::PutLE32(counter, def.FAutoIncValue);
    WriteChunk(counter, 4, def.FAutoIncOffset);
  }
}

int32_t TDbfFile::LockFreeRecordNo() {
  int32_t recNo = GetRecordCount() + 1;
  for (;;) {
    if (LockPage(recNo, false)) {
      if (!FNeedLocks || !RecordWritten(recNo)) return recNo;
      UnlockPage(recNo);
    } else if (!FStream || FStream->LastError() != platform::kErrorLockViolation) {
      throw platform::EDbfError(fmt::format(STRING_CANNOT_LOCK, FFileName));
    }
    // A number another process is appending under is locked: take the next one.
    ++recNo;
  }
}

// The count read before the lock may be stale: another appender can have written this number
// and let go of it since. A written record starts with its deletion flag; a number skipped by
// a concurrent appender is a gap of zero bytes, and the end-of-file byte is no record either.
bool TDbfFile::RecordWritten(int32_t recNo) {
  uint8_t flag = 0;
  if (ReadChunk(&flag, 1, CalcPageOffset(recNo)) != 1) return false;
  return flag == kRecordActive || flag == kRecordDeleted;
}

int32_t TDbfFile::Insert(uint8_t* record) {
  const int32_t recNo = LockFreeRecordNo();
  TPageLock recordLock(*this, recNo);
  ApplyAutoIncToBuffer(record);
  for (auto& index : FIndexFiles) {
    if (index->CheckKeyViolation(record)) {
      recordLock.Release();
      index->RaiseKeyViolation(recNo, record);
    }
  }
  for (size_t i = 0; i < FIndexFiles.size(); ++i) {
    FIndexFiles[i]->InsertKeys(recNo, record);
    if (FIndexFiles[i]->GetWriteError()) RollBackAppend(recNo, record, i + 1, true);
  }
  AppendUnderHeaderLock(recNo, record);
  return recNo;
}

// The header's count and the record are written under one hold of the header lock, and the
// end-of-file byte after them: the byte then never lands on a record another appender has
// just written.
void TDbfFile::AppendUnderHeaderLock(int32_t recNo, uint8_t* record) {
  if (!LockPage(0, true)) throw platform::EDbfError(fmt::format(STRING_CANNOT_LOCK, FFileName));
  TPageLock headerLock(*this, 0);
  auto addToCount = [this](int32_t delta) {
    // In exclusive access the buffer is the header; others may have changed the file's.
    if (FNeedLocks) ReadHeader();
    platform::PutLE32(FHeader.data() + header::kRecordCount,
                      HeaderRecordCount() + static_cast<uint32_t>(delta));
    StampHeader();
  };
  addToCount(1);
  if (FWriteError) RollBackAppend(recNo, record, FIndexFiles.size(), false);
  if (FHasLockField) UpdateLockField(record);
  WriteRecord(recNo, record);
  if (FWriteError) {
    FWriteError = false;
    addToCount(-1);
    // A partly written last record is cut off, so that no half record remains.
    const int64_t recordStart = CalcPageOffset(recNo);
    const int64_t size = FStream ? FStream->Size() : 0;
    if (size > recordStart && size < recordStart + FRecordSize && FStream->SetSize(recordStart))
      SetRecordCount(recNo - 1);
    WriteEndMark();
    RollBackAppend(recNo, record, FIndexFiles.size(), false);
  }
  WriteEndMark();
}

void TDbfFile::RollBackAppend(int32_t recNo, const uint8_t* record, size_t indexCount,
                              bool indexFailed) {
  for (size_t i = 0; i < indexCount; ++i) {
    FIndexFiles[i]->DeleteKeys(recNo, record);
    if (FIndexFiles[i]->GetWriteError()) {
      FIndexFiles[i]->ResetError();
      indexFailed = true;
    }
  }
  ResetError();
  // The record-number lock (and the header lock) are released as the error unwinds.
  throw platform::EDbfWriteError(indexFailed ? STRING_WRITE_INDEX_ERROR : STRING_WRITE_ERROR);
}

void TDbfFile::LockRecord(int32_t recNo, uint8_t* record) {
  if (!LockPage(recNo, false)) throw platform::EDbfError(STRING_RECORD_LOCKED);
  TPageLock recordLock(*this, recNo);
  if (ReadRecord(recNo, record) < FRecordSize)
    throw platform::EDbfError(fmt::format(STRING_RECORD_UNREADABLE, recNo, FFileName));
  std::memcpy(FPrevBuffer.get(), record, static_cast<size_t>(FRecordSize));
  if (FHasLockField) {
    // Other users see at once who holds the record.
    UpdateLockField(record);
    WriteRecord(recNo, record);
  }
  recordLock.Dismiss();  // held until UnlockRecord
}

void TDbfFile::UnlockRecord(int32_t recNo, const uint8_t* record) {
  TPageLock recordLock(*this, recNo);
  bool indexFailed = false;
  for (auto& index : FIndexFiles) {
    index->UpdateKeys(recNo, FPrevBuffer.get(), record);
    if (index->GetWriteError()) {
      index->ResetError();
      indexFailed = true;
    }
  }
  WriteRecord(recNo, record);
  // Reported at this post, not at some later append.
  if (FWriteError || indexFailed) {
    ResetError();
    throw platform::EDbfWriteError(indexFailed ? STRING_WRITE_INDEX_ERROR : STRING_WRITE_ERROR);
  }
}

void TDbfFile::RecordDeleted(int32_t recNo, const uint8_t* record) {
  for (auto& index : FIndexFiles) index->RecordDeleted(recNo, record);
}

void TDbfFile::UpdateLockField(uint8_t* record) {
  if (!FHasLockField) return;
  uint8_t* field = record + FLockField;
  platform::PutLE16(field, static_cast<uint16_t>(platform::GetLE16(field) + 1));
  const platform::TSystemTime now = platform::LocalTime();
  field[2] = static_cast<uint8_t>(now.Hour);
  field[3] = static_cast<uint8_t>(now.Minute);
  field[4] = static_cast<uint8_t>(now.Second);
  field[5] = static_cast<uint8_t>((now.Year - 1900) & 0xFF);
  field[6] = static_cast<uint8_t>(now.Month);
  field[7] = static_cast<uint8_t>(now.Day);
  std::memset(field + kLockFieldInfoSize, ' ',
              static_cast<size_t>(FLockFieldLen - kLockFieldInfoSize));
  std::memcpy(field + kLockFieldInfoSize, DbfGlobals().ComputerName().data(),
              static_cast<size_t>(FLockUserLen));
}

void TDbfFile::CheckNewLayout(const TDbfFieldDefs& fieldDefs) const {
  const int32_t count = fieldDefs.Count();
  if (count < 1 || count > kMaxFieldCount)
    throw platform::EDbfError(fmt::sprintf(STRING_INVALID_FIELD_COUNT, count));
  const bool dBase7 = FDbfVersion == kDbfVersionDBase7;
  const int64_t headerLength = int64_t(count) * (dBase7 ? descriptor7::kSize : descriptor::kSize) +
                               (dBase7 ? header::kSizeDBase7 : header::kSize) + 1;
  int64_t recordLength = 1;
  for (int32_t i = 0; i < count; ++i) recordLength += fieldDefs.Items(i).Size();
  // Both lengths are 16-bit header fields; a longer layout could never be read back.
  if (headerLength > UINT16_MAX || recordLength > UINT16_MAX)
    throw platform::EDbfError(fmt::format(STRING_LAYOUT_TOO_LONG, recordLength, headerLength));
}

void TDbfFile::CreateTable(TDbfFieldDefs& fieldDefs, int32_t memoBlockSize) {
  const bool dBase7 = FDbfVersion == kDbfVersionDBase7;
  const bool foxPro = FDbfVersion == kDbfVersionFoxPro;
  for (int32_t i = 0; i < fieldDefs.Count(); ++i) {
    TDbfFieldDef& given = fieldDefs.Items(i);
    if (FCopyDateTimeAsString && given.FieldType() == ftDateTime) {
      given.SetFieldType(ftString);
      given.SetSize(kDateTimeAsStringSize);
    }
  }
  CheckNewLayout(fieldDefs);
  const int32_t mainSize = dBase7 ? header::kSizeDBase7 : header::kSize;
  const int32_t descriptorSize = dBase7 ? descriptor7::kSize : descriptor::kSize;
  SetRecordCount(0);
  // The descriptors are written as records of the main header's paged layout.
  SetHeaderSize(mainSize);
  SetRecordSize(descriptorSize);
  std::fill(FHeader.begin(), FHeader.end(), 0);
  const int32_t codePage = DbfGlobals().DefaultCreateCodePage();
  const uint32_t locale = DbfGlobals().DefaultCreateLocale();
  if (dBase7) {
    FHeader[header::kVersion] = kNewVersionDBase7;
    const std::string name = LanguageDriverName(codePage, locale);
    std::memcpy(FHeader.data() + header::kLanguageName, name.data(),
                std::min<size_t>(name.size(), header::kLanguageNameLength - 1));
  } else {
    FHeader[header::kVersion] = foxPro ? kNewVersionFoxPro : kNewVersionDBase;
    FHeader[header::kLanguageId] =
        FDbfVersion == kDbfVersionDBase3 ? 0 : LangIdFromCodePage(codePage, locale, foxPro);
  }
  FFieldDefs.Clear();
  FHasLockField = false;
  FAutoIncPresent = false;
  int32_t offset = 1;
  std::vector<uint8_t> descriptorBytes(static_cast<size_t>(descriptorSize));
  for (int32_t i = 0; i < fieldDefs.Count(); ++i) {
    TDbfFieldDef& given = fieldDefs.Items(i);
    for (char& c : given.FieldName)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    given.FOffset = offset;
    given.FAutoIncOffset =
        dBase7 && given.NativeFieldType() == '+'
            ? header::kSizeDBase7 + i * descriptor7::kSize + descriptor7::kNextAutoInc
            : 0;
    BuildDescriptor(given, descriptorBytes.data());
    TDbfFieldDef& copy = FFieldDefs.Add();
    copy.CopyFrom(given);
    // The counter written to the descriptor is the one appends start from.
    copy.FAutoIncValue = dBase7 ? given.FAutoIncValue : 0;
    NoteSpecialField(copy, i, given.Size());
    WriteRecord(i + 1, descriptorBytes.data());
    offset += given.Size();
  }
  const uint8_t terminator = kDescriptorTerminator;
  WriteChunk(&terminator, 1, CalcPageOffset(fieldDefs.Count() + 1));
  if (HasBlob())
    FHeader[header::kVersion] |= FDbfVersion == kDbfVersionDBase3 ? kMemoBitsDBase3
                                 : foxPro                         ? kMemoBitsFoxPro
                                                                  : kMemoBitsDBase4;
  platform::PutLE16(FHeader.data() + header::kRecordLength, static_cast<uint16_t>(offset));
  platform::PutLE16(FHeader.data() + header::kHeaderLength,
                    static_cast<uint16_t>(fieldDefs.Count() * descriptorSize + mainSize + 1));
  TPagedFile::WriteHeader();
  // The whole new header is written and read back.
  SetRecordSize(offset);
  SetHeaderSize(platform::GetLE16(FHeader.data() + header::kHeaderLength));
  WriteHeader();
  DetermineCodePage();
  if (HasBlob() && !FMemoFile) {
    CreateMemoFile(FAutoCreate, memoBlockSize);
    FMemoFile->Open();
  }
}

void TDbfFile::BuildDescriptor(const TDbfFieldDef& def, uint8_t* bytes) const {
  const bool dBase7 = FDbfVersion == kDbfVersionDBase7;
  std::memset(bytes, 0, dBase7 ? descriptor7::kSize : descriptor::kSize);
  const size_t nameRoom = (dBase7 ? descriptor7::kNameLength : descriptor::kNameLength) - 1;
  std::memcpy(bytes, def.FieldName.data(), std::min(def.FieldName.size(), nameRoom));
  const bool text = def.NativeFieldType() == 'C';
  const auto length = static_cast<uint8_t>(text ? def.Size() % 256 : def.Size());
  const auto decimals = static_cast<uint8_t>(text ? def.Size() / 256 : def.Precision());
  if (dBase7) {
    bytes[descriptor7::kType] = static_cast<uint8_t>(def.NativeFieldType());
    bytes[descriptor7::kLength] = length;
    bytes[descriptor7::kDecimals] = decimals;
    platform::PutLE32(bytes + descriptor7::kNextAutoInc, def.FAutoIncValue);
  } else {
    bytes[descriptor::kType] = static_cast<uint8_t>(def.NativeFieldType());
    bytes[descriptor::kLength] = length;
    bytes[descriptor::kDecimals] = decimals;
  }
}

}  // namespace dbf
