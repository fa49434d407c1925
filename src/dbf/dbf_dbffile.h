// The table file: a paged file whose header describes the table (level, counts, lengths,
// language) and whose pages are the records (record n is page n, 1-based). Opening recognises
// the level, corrects the header's record count from the file's size, settles the code page,
// turns the field descriptors into field definitions and opens the memo file; fields are
// decoded in place from record bytes the caller reads and encoded into a caller's record
// buffer. Appends, edits and creation live in dbf_dbfwrite.cpp: appends and edits hold a
// record-number lock (never waited for) and, inside it, the header lock (waited for). Owns its
// field definitions, memo file and index files. A damaged header gives EDbfError, never a read
// outside the header or a record. A table opened pfReadOnly is never written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_fields.h"
#include "dbf/dbf_idxbase.h"
#include "dbf/dbf_memo.h"
#include "dbf/dbf_pgfile.h"

namespace dbf {

// The version code (2 dBASE III, 3 dBASE IV, 5 FoxPro, 6 dBASE 7) of a header's version
// byte and language-driver byte; 0 when the version byte names no known level.
uint8_t DbfVersionFromHeader(uint8_t versionByte, uint8_t languageId);
// The table level users see for a version code: 3, 4, 25 or 7; 0 for an unknown code.
int TableLevelOfVersion(uint8_t dbfVersion);
// The version code of a table level (3, 4, 25, 7); 0 for any other level.
uint8_t VersionOfTableLevel(int tableLevel);

// Asked when the header announces a production index whose .mdx file is missing. Leaving
// `deleteLink` true drops the link; setting it false abandons the open (ForceClose()).
using TDbfIndexMissingEvent = std::function<void(bool& deleteLink)>;
// Asked by index files whose locale is unusable (`error`); `solution` chooses what to do.
using TDbfLocaleErrorEvent = std::function<void(uint8_t& error, uint8_t& solution)>;

// A lock field starts with 8 bytes of change counter, time and date; the computer name
// follows. Shorter "_DBASELOCK" fields are ordinary fields.
constexpr int32_t kLockFieldInfoSize = 8;
constexpr int32_t kMaxFieldCount = 4095;

class TDbfFile : public TPagedFile {
 public:
  explicit TDbfFile(const std::string& fileName);
  ~TDbfFile() override;

  // Opens and reads the table. Set the mode, auto-create, the events and the float-fields
  // setting first. Throws EDbfError "Invalid DBF file." for a header it cannot use, or the
  // field-count error; a header or record length of 0 sets ForceClose() instead, and the
  // file must then not be used.
  void Open();
  void Close();
  // Rebuilds the field definitions from the descriptors in the header buffer.
  void ReadFieldDefs();

  bool HasBlob() const;
  // ".fpt" for FoxPro tables, ".dbt" otherwise.
  std::string GetMemoExt() const;
  uint8_t GetLanguageId() const;
  // dBASE 7: the 32 name bytes of the header, zero bytes included; empty for other levels.
  std::string GetLanguageStr() const;
  // The first definition whose name equals `name` upper-cased; nullptr when none.
  TDbfFieldDef* GetFieldInfo(std::string_view name);

  // Decodes one field of `record` (a whole record of GetRecordSize() bytes, or nullptr) as
  // `kind` into `dest`; false means no value. See DecodeField for what `dest` receives.
  bool GetFieldDataFromDef(const TDbfFieldDef& def, TFieldType kind, void* dest,
                           const uint8_t* record) const;
  // The same for the definition at a 0-based index below FieldDefs().Count().
  bool GetFieldData(int32_t fieldIndex, TFieldType kind, void* dest, const uint8_t* record) const;

  // Stamps today's date into the header, marks it modified (written at once in shared
  // access) and puts the end-of-file byte after the last whole record, under the header lock
  // in shared access. Nothing in pfReadOnly.
  void WriteHeader() override;
  // Also reallocates the record-image buffer (PrevBuffer) when the size changes.
  void SetRecordSize(int32_t size) override;
  // The memo and index files follow the table into exclusive access and back.
  void TryExclusive() override;
  void EndExclusive() override;

  // Write side (dbf_dbfwrite.cpp). `record` is always a whole record of GetRecordSize() bytes.

  // Encodes a value of `kind` into field `fieldIndex` (0-based) of `record`; a null `source`
  // clears the field. `source` points at: ftString a zero-terminated text in the table's code
  // page; ftSmallint, ftBoolean int16_t; ftInteger, ftAutoInc, ftDate (day number) int32_t;
  // ftLargeint int64_t; ftFloat, ftCurrency, ftDateTime (timestamp milliseconds) double.
  // Memo fields take their block number as ftInteger. Throws EDbfError naming the field when
  // a number or date does not fit the field; nothing is then written.
  void SetFieldData(int32_t fieldIndex, TFieldType kind, const void* source, uint8_t* record);
  // An empty, active record: blanks, binary fields zero (null), dBASE 7 defaults in place.
  void InitRecord(uint8_t* record);
  // Gives every type + field of `record` its next number and advances the stored counters.
  void ApplyAutoIncToBuffer(uint8_t* record);
  // Appends `record` under the first free record number and returns that number. On a write
  // failure everything is rolled back and EDbfWriteError is raised.
  int32_t Insert(uint8_t* record);
  // Locks record `recNo` for editing (EDbfError "Record locked." when another opener has it),
  // reads it into `record` and keeps a copy in PrevBuffer(). A lock field is filled and
  // written at once.
  void LockRecord(int32_t recNo, uint8_t* record);
  // Writes the edited record, moves its index keys and releases the lock, also on failure.
  // A failed write raises EDbfWriteError "Error while writing occurred. (Disk full?)" and
  // clears the write-error flag.
  void UnlockRecord(int32_t recNo, const uint8_t* record);
  // Index upkeep after record `recNo`'s deletion flag changed.
  void RecordDeleted(int32_t recNo, const uint8_t* record);
  // Change counter, local time and date, and the computer name into the lock field.
  void UpdateLockField(uint8_t* record);
  // Writes a new table's header and descriptors from `fieldDefs` (whose names are
  // upper-cased and which may be changed by FCopyDateTimeAsString), then creates the memo
  // file with `memoBlockSize` when a field needs one. Call right after Open in a create mode,
  // with the version code set.
  void CreateTable(TDbfFieldDefs& fieldDefs, int32_t memoBlockSize);

  // The open memo file; nullptr when the table has no memo fields.
  TMemoFile* MemoFile() { return FMemoFile.get(); }
  // Replaces `memo` with the memo a memo field of `record` refers to; false (and `memo`
  // empty) when the field has none or the table has no memo file.
  bool ReadMemo(const TDbfFieldDef& def, const uint8_t* record, std::string& memo);

  TDbfFieldDefs& FieldDefs() { return FFieldDefs; }
  const TDbfFieldDefs& FieldDefs() const { return FFieldDefs; }
  uint8_t DbfVersion() const { return FDbfVersion; }
  // For a table about to be created; Open sets it from the header.
  void SetDbfVersion(uint8_t version);
  void SetUseFloatFields(bool flag) { FFieldDefs.SetUseFloatFields(flag); }
  // Code page the header names (0: none), and the one in use.
  int32_t FileCodePage() const { return FFileCodePage; }
  int32_t UseCodePage() const { return FUseCodePage; }
  bool IsOpened() const { return FOpened; }
  bool ForceClose() const { return FForceClose; }
  bool HasLockField() const { return FHasLockField; }
  int32_t LockField() const { return FLockField; }
  int32_t LockFieldLen() const { return FLockFieldLen; }
  int32_t LockUserLen() const { return FLockUserLen; }
  bool AutoIncPresent() const { return FAutoIncPresent; }
  // GetRecordSize() bytes; nullptr while the record size is 0.
  uint8_t* PrevBuffer() { return FPrevBuffer.get(); }
  // Record count stored in the header (the file's size decides GetRecordCount()).
  uint32_t HeaderRecordCount();
  // The memo file this table's memo fields would live in (table name, GetMemoExt()).
  std::string MemoFileName() const;

  TDbfLocaleErrorEvent FOnLocaleError;
  TDbfIndexMissingEvent FOnIndexMissing;
  // Creation option: date-time fields are created as 22-character text.
  bool FCopyDateTimeAsString = false;

 protected:
  // The memo file when the table has memo fields. The index files, production index first;
  // the index list fills them.
  std::unique_ptr<TMemoFile> FMemoFile;
  std::vector<std::unique_ptr<TIndexFileBase>> FIndexFiles;
  std::vector<std::string> FIndexNames;

 private:
  // The memo file object of this table's level, named like the table, not yet opened.
  void CreateMemoFile(bool autoCreate, int32_t blockSize);
  // Marks a lock field or autoincrement field the definition at `index` is.
  void NoteSpecialField(TDbfFieldDef& def, int32_t index, int32_t storedLength);
  // The date stamp and the header write, without the end-of-file byte.
  void StampHeader();
  void RefreshAutoIncCounters();
  // Date stamp, header and end-of-file byte; the caller holds the header lock.
  void WriteHeaderLocked();
  // The end-of-file byte after the last whole record.
  void WriteEndMark();
  // Append steps: see Insert.
  int32_t LockFreeRecordNo();
  bool RecordWritten(int32_t recNo);
  void AppendUnderHeaderLock(int32_t recNo, uint8_t* record);
  [[noreturn]] void RollBackAppend(int32_t recNo, const uint8_t* record, size_t indexCount,
                                   bool indexFailed);
  // Refuses layouts the header cannot describe: no fields, too many, lengths over 16 bits.
  void CheckNewLayout(const TDbfFieldDefs& fieldDefs) const;
  void BuildDescriptor(const TDbfFieldDef& def, uint8_t* bytes) const;
  void SetBinaryField(const TDbfFieldDef& def, TFieldType kind, const void* source, uint8_t* field);
  void CheckFits(const TDbfFieldDef& def, bool fits, const std::string& valueText) const;

  void CheckHeaderLengths();
  void CorrectRecordCount();
  void DetermineCodePage();
  void UpdateMemoFlag();
  void CheckProductionIndex();
  // Adds the definition of the descriptor at `descriptor`; returns its stored length.
  int32_t AddFieldDef(const uint8_t* descriptor, int32_t index, int32_t offset);
  void CheckRecordLayout(int32_t fieldsEnd) const;
  // dBASE 7: Required and the default, minimum and maximum values, from the block at
  // header offset `position`.
  void ReadFieldProperties(int32_t position, int32_t headerLength);

  TDbfFieldDefs FFieldDefs;
  uint8_t FDbfVersion = 0;
  std::unique_ptr<uint8_t[]> FPrevBuffer;
  int32_t FLockField = 0;
  int32_t FLockFieldLen = 0;
  int32_t FLockUserLen = 0;
  int32_t FFileCodePage = 0;
  int32_t FUseCodePage = 0;
  bool FForceClose = false;
  bool FHasLockField = false;
  bool FAutoIncPresent = false;
  bool FOpened = false;
};

}  // namespace dbf
