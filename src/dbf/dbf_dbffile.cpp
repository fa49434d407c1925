#include "dbf/dbf_dbffile.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <cstring>

#include "dbf/dbf_common.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/byte_order.h"
#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/system.h"

namespace dbf {
namespace {

constexpr const char* kLockFieldName = "_DBASELOCK";

[[noreturn]] void InvalidFile() {
  throw platform::EDbfError(STRING_INVALID_DBF_FILE);
}

void UpperCaseAscii(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

// `fileName` with its extension (if any) replaced by `extension`.
std::string ChangeFileExt(const std::string& fileName, const char* extension) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExt ? fileName.substr(0, dot) : fileName) + extension;
}

// The text of a zero-terminated name field of at most `length` bytes.
std::string NameOf(const uint8_t* name, int32_t length) {
  const void* zero = std::memchr(name, 0, static_cast<size_t>(length));
  const size_t size = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - name)
                           : static_cast<size_t>(length);
  return std::string(reinterpret_cast<const char*>(name), size);
}

}  // namespace

uint8_t DbfVersionFromHeader(uint8_t versionByte, uint8_t languageId) {
  switch (versionByte & 0x07) {
    case 2:
    case 5:
      return kDbfVersionFoxPro;
    case 3:
      return languageId != 0 ? kDbfVersionDBase4 : kDbfVersionDBase3;
    case 4:
      return kDbfVersionDBase7;
    default:
      return (versionByte & 0x70) == 0x30 ? kDbfVersionFoxPro : 0;
  }
}

int TableLevelOfVersion(uint8_t dbfVersion) {
  switch (dbfVersion) {
    case kDbfVersionDBase3:
      return 3;
    case kDbfVersionDBase4:
      return 4;
    case kDbfVersionFoxPro:
      return 25;
    case kDbfVersionDBase7:
      return 7;
    default:
      return 0;
  }
}

uint8_t VersionOfTableLevel(int tableLevel) {
  switch (tableLevel) {
    case 3:
      return kDbfVersionDBase3;
    case 4:
      return kDbfVersionDBase4;
    case 25:
      return kDbfVersionFoxPro;
    case 7:
      return kDbfVersionDBase7;
    default:
      return 0;
  }
}

TDbfFile::TDbfFile(const std::string& fileName) : TPagedFile(fileName) {}

TDbfFile::~TDbfFile() {
  Close();
}

void TDbfFile::SetDbfVersion(uint8_t version) {
  FDbfVersion = version;
  FFieldDefs.SetDbfVersion(version);
}

void TDbfFile::Open() {
  if (FOpened) return;
  OpenFile();
  if (!IsCreateMode()) {
    SetHeaderSize(header::kSize);
    SetDbfVersion(DbfVersionFromHeader(FHeader[header::kVersion], FHeader[header::kLanguageId]));
    if (FDbfVersion == 0) InvalidFile();
    const int32_t recordLength = platform::GetLE16(FHeader.data() + header::kRecordLength);
    const int32_t headerLength = platform::GetLE16(FHeader.data() + header::kHeaderLength);
    SetRecordSize(recordLength);
    SetHeaderSize(headerLength);
    if (headerLength == 0 || recordLength == 0) {
      SetHeaderSize(0);
      SetRecordSize(0);
      FForceClose = true;
      return;
    }
    CheckHeaderLengths();
    CorrectRecordCount();
    DetermineCodePage();
    ReadFieldDefs();
    UpdateMemoFlag();
    CheckProductionIndex();
  }
  // Index files other than the production index are added (and opened here) by the index
  // list once indexes are supported; the list is empty until then.
  FOpened = true;
}

// The header must hold the main header of its level and lie inside the file.
void TDbfFile::CheckHeaderLengths() {
  const int32_t mainSize = FDbfVersion == kDbfVersionDBase7 ? header::kSizeDBase7 : header::kSize;
  if (FHeaderSize < mainSize || FHeaderSize > GetCachedSize()) InvalidFile();
}

// In shared access appenders change the count and the autoincrement counters under the
// header lock: the header is compared and written afresh under it.
void TDbfFile::CorrectRecordCount() {
  if (FMode == pfReadOnly) {
    const int32_t count = GetRecordCount();
    if (static_cast<uint32_t>(count) != HeaderRecordCount())
      platform::PutLE32(FHeader.data() + header::kRecordCount, static_cast<uint32_t>(count));
    return;
  }
  if (!LockPage(0, true)) throw platform::EDbfError(fmt::format(STRING_CANNOT_LOCK, FFileName));
  TPageLock headerLock(*this, 0);
  if (FNeedLocks) ReadHeader();
  const int32_t count = GetRecordCount();
  if (static_cast<uint32_t>(count) == HeaderRecordCount()) return;
  platform::PutLE32(FHeader.data() + header::kRecordCount, static_cast<uint32_t>(count));
  WriteHeaderLocked();
}

void TDbfFile::DetermineCodePage() {
  if (FDbfVersion == kDbfVersionDBase7)
    FFileCodePage = CodePageFromLanguageName(FHeader.data() + header::kLanguageName,
                                             header::kLanguageNameLength);
  else
    FFileCodePage = CodePageOfLangId(FHeader[header::kLanguageId]);
  FUseCodePage = FFileCodePage != 0 ? FFileCodePage : DbfGlobals().DefaultOpenCodePage();
}

void TDbfFile::UpdateMemoFlag() {
  // The changed flag reaches the file only with the next header write.
  if (HasBlob()) {
    CreateMemoFile(false, 0);
    FMemoFile->Open();
    FHeader[header::kVersion] |= header::kMemoFlag;
  } else {
    FHeader[header::kVersion] &= static_cast<uint8_t>(~header::kMemoFlag);
  }
}

void TDbfFile::CreateMemoFile(bool autoCreate, int32_t blockSize) {
  if (FDbfVersion == kDbfVersionFoxPro)
    FMemoFile = std::make_unique<TFoxProMemoFile>(MemoFileName());
  else
    FMemoFile = std::make_unique<TDbaseMemoFile>(MemoFileName());
  FMemoFile->SetMode(FMode);
  FMemoFile->SetAutoCreate(autoCreate);
  FMemoFile->SetRequestedBlockSize(blockSize);
  FMemoFile->SetDbfVersion(FDbfVersion);
}

void TDbfFile::CheckProductionIndex() {
  if (FHeader[header::kMdxFlag] == 0) return;
  // An existing production index is opened here once indexes are supported.
  if (platform::File::Exists(ChangeFileExt(FFileName, ".mdx"))) return;
  bool deleteLink = true;
  if (FOnIndexMissing) FOnIndexMissing(deleteLink);
  if (deleteLink)
    FHeader[header::kMdxFlag] = 0;
  else
    FForceClose = true;
}

void TDbfFile::Close() {
  if (!FOpened) return;
  for (auto& index : FIndexFiles) index->CloseFile();
  FIndexFiles.clear();
  FIndexNames.clear();
  if (FMemoFile) FMemoFile->Close();
  FMemoFile.reset();
  CloseFile();
  FPrevBuffer.reset();
  FOpened = false;
}

void TDbfFile::ReadFieldDefs() {
  FFieldDefs.Clear();
  FHasLockField = false;
  FAutoIncPresent = false;
  const bool dBase7 = FDbfVersion == kDbfVersionDBase7;
  const int32_t first = dBase7 ? header::kSizeDBase7 : header::kSize;
  const int32_t size = dBase7 ? descriptor7::kSize : descriptor::kSize;
  const int32_t headerLength =
      FHeaderSize >= header::kSize
          ? std::min<int32_t>(platform::GetLE16(FHeader.data() + header::kHeaderLength),
                              FHeaderSize)
          : 0;
  // Descriptors are read only where they lie wholly inside the header.
  const int32_t slots = headerLength > first ? (headerLength - first) / size : 0;
  if (slots < 1) throw platform::EDbfError(fmt::sprintf(STRING_INVALID_FIELD_COUNT, 0));

  int32_t offset = 1;
  int32_t position = first;
  for (int32_t i = 0;; ++i) {
    const uint8_t* descriptor = FHeader.data() + first + i * size;
    offset += AddFieldDef(descriptor, i, offset);
    position = first + (i + 1) * size;
    if (i + 1 >= slots) break;
    if (FHeader[static_cast<size_t>(position)] == kDescriptorTerminator) {
      ++position;
      break;
    }
  }
  if (FFieldDefs.Count() > kMaxFieldCount)
    throw platform::EDbfError(fmt::sprintf(STRING_INVALID_FIELD_COUNT, FFieldDefs.Count()));
  CheckRecordLayout(offset);
  if (dBase7) ReadFieldProperties(position, headerLength);
}

int32_t TDbfFile::AddFieldDef(const uint8_t* descriptor, int32_t index, int32_t offset) {
  const bool dBase7 = FDbfVersion == kDbfVersionDBase7;
  const char type = static_cast<char>(descriptor[dBase7 ? descriptor7::kType : descriptor::kType]);
  const int32_t length = descriptor[dBase7 ? descriptor7::kLength : descriptor::kLength];
  const int32_t decimals = descriptor[dBase7 ? descriptor7::kDecimals : descriptor::kDecimals];
  const bool text = type == 'C' || type == 'c';
  const int32_t stored = text ? length + 256 * decimals : length;

  TDbfFieldDef& def = FFieldDefs.Add();
  def.FieldName = NameOf(descriptor, dBase7 ? descriptor7::kNameLength : descriptor::kNameLength);
  UpperCaseAscii(def.FieldName);
  def.FOffset = offset;
  def.SetSize(stored);
  def.SetPrecision(text ? 0 : decimals);
  if (dBase7) def.FAutoIncValue = platform::GetLE32(descriptor + descriptor7::kNextAutoInc);
  def.SetNativeFieldType(type);
  if (def.FieldName.empty() || def.FieldType() == ftUnknown) InvalidFile();

  NoteSpecialField(def, index, stored);
  return stored;
}

void TDbfFile::NoteSpecialField(TDbfFieldDef& def, int32_t index, int32_t storedLength) {
  if (FDbfVersion == kDbfVersionDBase7 && def.NativeFieldType() == '+') {
    FAutoIncPresent = true;
    def.FAutoIncOffset =
        header::kSizeDBase7 + index * descriptor7::kSize + descriptor7::kNextAutoInc;
  }
  if (def.FieldName == kLockFieldName && storedLength >= kLockFieldInfoSize) {
    def.FIsLockField = true;
    FHasLockField = true;
    FLockField = def.FOffset;
    FLockFieldLen = storedLength;
    FLockUserLen = std::min<int32_t>(storedLength - kLockFieldInfoSize,
                                     static_cast<int32_t>(DbfGlobals().ComputerName().size()));
  }
}

// Every field, as stored and as decoded, must lie inside the record.
void TDbfFile::CheckRecordLayout(int32_t fieldsEnd) const {
  if (fieldsEnd > FRecordSize) InvalidFile();
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TDbfFieldDef& def = FFieldDefs.Items(i);
    if (def.FOffset + def.Size() > FRecordSize) InvalidFile();
  }
}

void TDbfFile::ReadFieldProperties(int32_t position, int32_t headerLength) {
  if (position + properties::kHeaderSize >= headerLength) return;
  const uint8_t* block = FHeader.data() + position;
  const int32_t count = platform::GetLE16(block + properties::kCount);
  const int32_t firstOffset = platform::GetLE16(block + properties::kFirst);
  for (int32_t i = 0; i < count; ++i) {
    const int64_t at = int64_t(position) + firstOffset + int64_t(i) * properties::kDescriptorSize;
    if (at + properties::kDescriptorSize > headerLength) break;
    const uint8_t* property = FHeader.data() + at;
    const int32_t fieldNo = platform::GetLE16(property + properties::kFieldNo);
    if (fieldNo == 0 || fieldNo > FFieldDefs.Count()) continue;
    TDbfFieldDef& def = FFieldDefs.Items(fieldNo - 1);
    def.AllocValueBuffers();
    const uint8_t kind = property[properties::kKind];
    if (kind == properties::kRequired) {
      def.Required = true;
      continue;
    }
    uint8_t* buffer = kind == properties::kMinimum   ? def.MinBuf()
                      : kind == properties::kMaximum ? def.MaxBuf()
                      : kind == properties::kDefault ? def.DefaultBuf()
                                                     : nullptr;
    if (!buffer) continue;
    // A value longer than its field is cut to the field; one outside the header is ignored.
    const int64_t valueAt =
        int64_t(position) + platform::GetLE16(property + properties::kValueOffset);
    const int32_t length = std::min<int32_t>(platform::GetLE16(property + properties::kValueLength),
                                             def.ValueBufSize());
    if (valueAt + length > headerLength) continue;
    std::memcpy(buffer, FHeader.data() + valueAt, static_cast<size_t>(length));
    (kind == properties::kMinimum   ? def.FHasMin
     : kind == properties::kMaximum ? def.FHasMax
                                    : def.FHasDefault) = true;
  }
}

bool TDbfFile::HasBlob() const {
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i)
    if (FFieldDefs.Items(i).IsBlob()) return true;
  return false;
}

std::string TDbfFile::GetMemoExt() const {
  return FDbfVersion == kDbfVersionFoxPro ? ".fpt" : ".dbt";
}

std::string TDbfFile::MemoFileName() const {
  return ChangeFileExt(FFileName, GetMemoExt().c_str());
}

uint8_t TDbfFile::GetLanguageId() const {
  return FHeaderSize > header::kLanguageId ? FHeader[header::kLanguageId] : 0;
}

std::string TDbfFile::GetLanguageStr() const {
  if (FDbfVersion != kDbfVersionDBase7 ||
      FHeaderSize < header::kLanguageName + header::kLanguageNameLength)
    return std::string();
  return std::string(reinterpret_cast<const char*>(FHeader.data() + header::kLanguageName),
                     header::kLanguageNameLength);
}

uint32_t TDbfFile::HeaderRecordCount() {
  return FHeaderSize >= header::kRecordCount + 4
             ? platform::GetLE32(FHeader.data() + header::kRecordCount)
             : 0;
}

TDbfFieldDef* TDbfFile::GetFieldInfo(std::string_view name) {
  std::string upper(name);
  UpperCaseAscii(upper);
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i)
    if (FFieldDefs.Items(i).FieldName == upper) return &FFieldDefs.Items(i);
  return nullptr;
}

bool TDbfFile::GetFieldDataFromDef(const TDbfFieldDef& def, TFieldType kind, void* dest,
                                   const uint8_t* record) const {
  return DecodeField(def, kind, dest, record);
}

bool TDbfFile::ReadMemo(const TDbfFieldDef& def, const uint8_t* record, std::string& memo) {
  memo.clear();
  int32_t block = 0;
  if (!FMemoFile || !DecodeField(def, ftInteger, &block, record)) return false;
  FMemoFile->LoadMemo(block, memo);
  return !memo.empty();
}

bool TDbfFile::GetFieldData(int32_t fieldIndex, TFieldType kind, void* dest,
                            const uint8_t* record) const {
  return DecodeField(FFieldDefs.Items(fieldIndex), kind, dest, record);
}

void TDbfFile::WriteHeader() {
  if (FHeaderSize == 0 || FMode == pfReadOnly) return;
  // Appenders of other processes write their records under the header lock; the end mark
  // must not land on a record one of them has just written.
  if (!LockPage(0, true)) throw platform::EDbfError(fmt::format(STRING_CANNOT_LOCK, FFileName));
  TPageLock headerLock(*this, 0);
  WriteHeaderLocked();
}

void TDbfFile::WriteHeaderLocked() {
  if (FNeedLocks) RefreshAutoIncCounters();
  StampHeader();
  WriteEndMark();
}

// Other processes advance the counters in the file; a header written from this buffer must
// not turn them back.
void TDbfFile::RefreshAutoIncCounters() {
  for (int32_t i = 0; i < FFieldDefs.Count(); ++i) {
    const TDbfFieldDef& def = FFieldDefs.Items(i);
    if (def.NativeFieldType() != '+' || def.FAutoIncOffset + 4 > FHeaderSize) continue;
    ReadChunk(FHeader.data() + def.FAutoIncOffset, 4, def.FAutoIncOffset);
  }
}

void TDbfFile::StampHeader() {
  const platform::TSystemTime now = platform::LocalTime();
  FHeader[header::kUpdateYear] = static_cast<uint8_t>((now.Year - 1900) & 0xFF);
  FHeader[header::kUpdateMonth] = static_cast<uint8_t>(now.Month);
  FHeader[header::kUpdateDay] = static_cast<uint8_t>(now.Day);
  TPagedFile::WriteHeader();
}

void TDbfFile::WriteEndMark() {
  const uint8_t endOfFile = kEndOfFile;
  WriteChunk(&endOfFile, 1, CalcPageOffset(GetRecordCount() + 1));
}

void TDbfFile::SetRecordSize(int32_t size) {
  if (size != FRecordSize || !FPrevBuffer) {
    FPrevBuffer.reset();
    if (size > 0) FPrevBuffer = std::make_unique<uint8_t[]>(static_cast<size_t>(size));
  }
  TPagedFile::SetRecordSize(size);
}

void TDbfFile::TryExclusive() {
  TPagedFile::TryExclusive();
  if (IsSharedAccess()) return;
  for (auto& index : FIndexFiles) index->TryExclusive();
  if (FMemoFile) FMemoFile->TryExclusive();
}

void TDbfFile::EndExclusive() {
  for (auto& index : FIndexFiles) index->EndExclusive();
  if (FMemoFile) FMemoFile->EndExclusive();
  TPagedFile::EndExclusive();
}

}  // namespace dbf
