// A paged file: one open file, a header buffer, and the arithmetic that turns a page number
// into a file offset. It knows nothing of what the header and pages hold; the table, memo and
// index files derive from it. Owns its descriptor and header buffer. Single-threaded; other
// processes are kept out only through byte-range locks (virtual lock bytes for table files,
// the pages' real bytes for memo and index files). Writes never throw: they set a sticky
// error flag that the owner checks. Sizes and offsets are bytes; page 0 is the header and
// records are pages 1, 2, ... when pages are placed after the header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace dbf {

enum TPagedFileMode : uint8_t {
  pfNone = 0,
  pfExclusiveCreate = 2,
  pfExclusiveOpen = 3,
  pfReadWriteCreate = 4,
  pfReadWriteOpen = 5,
  pfReadOnly = 6,
};

class TPagedFile {
 public:
  explicit TPagedFile(const std::string& fileName);
  virtual ~TPagedFile();
  TPagedFile(const TPagedFile&) = delete;
  TPagedFile& operator=(const TPagedFile&) = delete;

  // Virtual operations, in the order derived classes rely on.
  virtual void SetHeaderOffset(int32_t offset);
  virtual void SetRecordSize(int32_t size);
  virtual void SetHeaderSize(int32_t size);
  virtual void SetPageOffsetByHeader(bool flag);
  virtual void CloseFile();
  // Switches a shared file to exclusive access when no other writer has it open; otherwise
  // it stays shared without an error. Callers ask IsSharedAccess() afterwards.
  virtual void TryExclusive();
  virtual void EndExclusive();
  // Reads FRecordSize bytes of a page; returns the bytes read (short or 0 past the end).
  virtual int32_t ReadRecord(int32_t recNo, void* buffer);
  virtual void WriteRecord(int32_t recNo, const void* buffer);
  // Marks the header modified; written at once in shared access, else at the next flush.
  virtual void WriteHeader();
  virtual void Flush();

  // Opens in FMode; a missing file is created when the mode (after auto-create) says so,
  // else throws platform::Exception "Open: file not found". Sharing refusals throw
  // platform::EFOpenError. Does nothing when already open.
  void OpenFile();
  void DeleteFile();
  bool IsCreateMode() const;
  bool IsSharedAccess() const;
  void CheckExclusiveAccess() const;
  int64_t CalcPageOffset(int32_t pageNo) const;
  void SetPageSize(int32_t size);
  void ReadHeader();
  void FlushHeader();
  // Whole pages after the header; a trailing partial page is not counted.
  int32_t GetRecordCount();
  void SetRecordCount(int32_t count);
  int32_t ReadChunk(void* buffer, int32_t count, int64_t offset);
  void WriteChunk(const void* buffer, int32_t count, int64_t offset);
  // One byte at the current position (after the last read or write); 0 when there is none.
  uint8_t ReadByte();
  void WriteByte(uint8_t value);
  void ResetError() { FWriteError = false; }
  // Locks a page (or its virtual lock byte). Waits, polling every 10 ms, only when `wait`
  // and the failure is another opener's lock. True at once in exclusive access.
  bool LockPage(int32_t pageNo, bool wait);
  void UnlockPage(int32_t pageNo);

  bool IsOpen() const { return FStream != nullptr; }
  const std::string& GetFileName() const { return FFileName; }
  TPagedFileMode GetMode() const { return FMode; }
  void SetMode(TPagedFileMode mode) { FMode = mode; }
  void SetAutoCreate(bool flag) { FAutoCreate = flag; }
  void SetVirtualLocks(bool flag) { FVirtualLocks = flag; }
  bool GetWriteError() const { return FWriteError; }
  int32_t GetHeaderSize() const { return FHeaderSize; }
  int32_t GetHeaderOffset() const { return FHeaderOffset; }
  int32_t GetRecordSize() const { return FRecordSize; }
  int32_t GetPageSize() const { return FPageSize; }
  bool GetPageOffsetByHeader() const { return FPageOffsetByHeader; }
  bool GetHeaderModified() const { return FHeaderModified; }
  bool GetNeedLocks() const { return FNeedLocks; }
  // The header buffer: FHeaderSize bytes, or nullptr while the header size is 0.
  uint8_t* GetHeader() { return FHeaderSize != 0 ? FHeader.data() : nullptr; }
  // The file's size as tracked (exclusive) or last seen (shared).
  int64_t GetCachedSize() const { return FCachedSize; }

 protected:
  std::unique_ptr<platform::File> FStream;
  int32_t FHeaderOffset = 0;
  int32_t FHeaderSize = 0;
  int32_t FRecordSize = 0;
  int32_t FPageSize = 0;
  int32_t FRecordCount = 0;
  int32_t FPagesPerRecord = 0;
  int64_t FCachedSize = 0;
  std::vector<uint8_t> FHeader;
  bool FNeedRecalc = false;
  bool FHeaderModified = false;
  bool FPageOffsetByHeader = true;
  TPagedFileMode FMode = pfReadOnly;
  TPagedFileMode FTempMode = pfNone;
  bool FAutoCreate = false;
  bool FNeedLocks = false;
  bool FVirtualLocks = true;
  std::string FFileName;
  bool FWriteError = false;

 private:
  void UpdatePagesPerRecord();
  int64_t ActualSize() const;
  // Moves the position to `offset`, noting an offset beyond the tracked size.
  void Seek(int64_t offset);
  int32_t ReadWithRetry(void* buffer, int32_t count);
  // Writes at the position; a store of fewer bytes than asked sets FWriteError.
  void WriteAtPosition(const void* buffer, int32_t count);
  void LockRange(int32_t pageNo, uint64_t& offset, uint64_t& length) const;

  int64_t FPosition = 0;
};

// Holds a lock already taken with LockPage and releases it when destroyed, unless Dismiss()
// handed it on. Release() gives it up early.
class TPageLock {
 public:
  TPageLock(TPagedFile& file, int32_t pageNo) : FFile(&file), FPageNo(pageNo) {}
  ~TPageLock() { Release(); }
  TPageLock(const TPageLock&) = delete;
  TPageLock& operator=(const TPageLock&) = delete;
  void Release() {
    if (FFile) FFile->UnlockPage(FPageNo);
    FFile = nullptr;
  }
  void Dismiss() { FFile = nullptr; }
  bool Held() const { return FFile != nullptr; }

 private:
  TPagedFile* FFile;
  int32_t FPageNo;
};

}  // namespace dbf
