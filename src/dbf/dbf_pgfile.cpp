#include "dbf/dbf_pgfile.h"

#include <fmt/printf.h>

#include "dbf/dbf_str.h"
#include "platform/exceptions.h"
#include "platform/system.h"

namespace dbf {
namespace {

// Highest virtual lock byte: the header lock (page 0); record r locks the byte r below it.
constexpr uint32_t kVirtualLockBase = 0xEFFFFFFEu;
constexpr uint32_t kLockPollMs = 10;
constexpr uint32_t kReadRetryMs = 1;

// A missing file with auto-create set is created in the create twin of the asked mode.
TPagedFileMode AutoCreateMode(TPagedFileMode mode) {
  switch (mode) {
    case pfExclusiveOpen:
      return pfExclusiveCreate;
    case pfReadWriteOpen:
    case pfReadOnly:
      return pfReadWriteCreate;
    default:
      return mode;
  }
}

// The shared mode to return to after exclusive access; never a create mode, so that
// returning does not empty the file.
TPagedFileMode ReopenMode(TPagedFileMode mode) {
  return mode == pfReadOnly ? pfReadOnly : pfReadWriteOpen;
}

}  // namespace

TPagedFile::TPagedFile(const std::string& fileName) : FFileName(fileName) {}

TPagedFile::~TPagedFile() {
  TPagedFile::CloseFile();
}

void TPagedFile::OpenFile() {
  if (FStream) return;
  if (!platform::File::Exists(FFileName)) {
    if (FAutoCreate) FMode = AutoCreateMode(FMode);
    if (!IsCreateMode()) throw platform::Exception(fmt::sprintf(STRING_FILE_NOT_FOUND, FFileName));
    platform::File::CreateEmpty(FFileName);
  }
  using platform::FileAccess;
  using platform::FileShare;
  const bool exclusive = FMode == pfExclusiveCreate || FMode == pfExclusiveOpen;
  const FileAccess access = FMode == pfReadOnly ? FileAccess::Read : FileAccess::ReadWrite;
  FStream = std::make_unique<platform::File>(
      FFileName, access, exclusive ? FileShare::DenyWrite : FileShare::DenyNone);
  if (IsCreateMode()) FStream->SetSize(0);
  FCachedSize = ActualSize();
  FNeedRecalc = true;
  FNeedLocks = IsSharedAccess();
  FPosition = 0;
}

void TPagedFile::CloseFile() {
  if (!FStream) return;
  FlushHeader();
  FStream.reset();
}

void TPagedFile::DeleteFile() {
  if (!FStream) platform::File::Delete(FFileName);
}

bool TPagedFile::IsCreateMode() const {
  return FMode == pfExclusiveCreate || FMode == pfReadWriteCreate;
}

bool TPagedFile::IsSharedAccess() const {
  return FMode == pfReadWriteCreate || FMode == pfReadWriteOpen || FMode == pfReadOnly;
}

void TPagedFile::CheckExclusiveAccess() const {
  if (IsSharedAccess()) throw platform::EDbfError(STRING_NEED_EXCLUSIVE_ACCESS);
}

int64_t TPagedFile::CalcPageOffset(int32_t pageNo) const {
  if (!FPageOffsetByHeader) return int64_t(pageNo) * FPageSize;
  if (pageNo == 0) return 0;
  return int64_t(FHeaderOffset) + FHeaderSize + int64_t(pageNo - 1) * FPageSize;
}

void TPagedFile::UpdatePagesPerRecord() {
  FPagesPerRecord = FPageSize == 0 ? 0 : FRecordSize / FPageSize;
}

void TPagedFile::SetHeaderOffset(int32_t offset) {
  if (offset == FHeaderOffset) return;
  FlushHeader();
  FHeaderOffset = offset;
}

void TPagedFile::SetRecordSize(int32_t size) {
  if (size == FRecordSize) return;
  FRecordSize = size;
  FPageSize = size;
  FNeedRecalc = true;
  UpdatePagesPerRecord();
}

void TPagedFile::SetHeaderSize(int32_t size) {
  if (size == FHeaderSize) return;
  FlushHeader();
  FHeaderSize = size;
  if (size != 0) FHeader.assign(static_cast<size_t>(size), 0);
  FNeedRecalc = true;
  ReadHeader();
}

void TPagedFile::SetPageOffsetByHeader(bool flag) {
  if (flag == FPageOffsetByHeader) return;
  FPageOffsetByHeader = flag;
  FNeedRecalc = true;
}

void TPagedFile::SetPageSize(int32_t size) {
  if (size == FPageSize) return;
  FPageSize = size;
  FNeedRecalc = true;
  UpdatePagesPerRecord();
}

int64_t TPagedFile::ActualSize() const {
  if (!FStream) return 0;
  const int64_t size = FStream->Size();
  return size < 0 ? 0 : size;
}

void TPagedFile::ReadHeader() {
  FlushHeader();
  if (FHeaderSize == 0) return;
  const int64_t available = ActualSize() - FHeaderOffset;
  int32_t got = 0;
  if (available > 0 && FStream) {
    const int32_t wanted = available < FHeaderSize ? static_cast<int32_t>(available) : FHeaderSize;
    got = ReadChunk(FHeader.data(), wanted, FHeaderOffset);
  }
  std::fill(FHeader.begin() + got, FHeader.end(), 0);
}

void TPagedFile::FlushHeader() {
  if (!FHeaderModified || !FStream) return;
  Seek(FHeaderOffset);
  WriteAtPosition(FHeader.data(), FHeaderSize);
  if (FPosition > FCachedSize) {
    FCachedSize = FPosition;
    FNeedRecalc = true;
  }
  FHeaderModified = false;
}

void TPagedFile::WriteHeader() {
  FHeaderModified = true;
  if (FNeedLocks) FlushHeader();
}

void TPagedFile::Flush() {}

int32_t TPagedFile::GetRecordCount() {
  if (FNeedLocks && FStream) {
    const int64_t size = ActualSize();
    if (size != FCachedSize) {
      FCachedSize = size;
      FNeedRecalc = true;
    }
  }
  if (FNeedRecalc) {
    int64_t count = 0;
    if (FPageSize != 0 && FStream) {
      const int64_t data =
          FPageOffsetByHeader ? FCachedSize - FHeaderSize - FHeaderOffset : FCachedSize;
      count = data / FPageSize;
    }
    if (count < 0) count = 0;
    FRecordCount = count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
    FNeedRecalc = false;
  }
  return FRecordCount;
}

void TPagedFile::SetRecordCount(int32_t count) {
  if (count == GetRecordCount()) return;
  const int64_t pages = int64_t(count) * FPageSize;
  FCachedSize = FPageOffsetByHeader ? int64_t(FHeaderOffset) + FHeaderSize + pages : pages;
  FRecordCount = count;
  if (FStream && !FStream->SetSize(FCachedSize)) FWriteError = true;
}

void TPagedFile::Seek(int64_t offset) {
  FPosition = offset;
  if (offset > FCachedSize) {
    FCachedSize = offset;
    FNeedRecalc = true;
  }
}

int32_t TPagedFile::ReadWithRetry(void* buffer, int32_t count) {
  if (!FStream || count <= 0) return 0;
  for (;;) {
    const size_t got = FStream->ReadAt(buffer, static_cast<size_t>(count), FPosition);
    if (got == 0 && FStream->LastError() == platform::kErrorLockViolation) {
      platform::Sleep(kReadRetryMs);
      continue;
    }
    FPosition += static_cast<int64_t>(got);
    return static_cast<int32_t>(got);
  }
}

void TPagedFile::WriteAtPosition(const void* buffer, int32_t count) {
  if (count <= 0) return;
  if (!FStream) {
    FWriteError = true;
    return;
  }
  const size_t stored = FStream->WriteAt(buffer, static_cast<size_t>(count), FPosition);
  FPosition += static_cast<int64_t>(stored);
  // A partial store loses data as surely as none at all.
  if (stored < static_cast<size_t>(count)) FWriteError = true;
}

int32_t TPagedFile::ReadChunk(void* buffer, int32_t count, int64_t offset) {
  Seek(offset);
  return ReadWithRetry(buffer, count);
}

void TPagedFile::WriteChunk(const void* buffer, int32_t count, int64_t offset) {
  Seek(offset);
  WriteAtPosition(buffer, count);
  if (FPosition > FCachedSize) {
    FCachedSize = FPosition;
    FNeedRecalc = true;
  }
}

uint8_t TPagedFile::ReadByte() {
  uint8_t value = 0;
  return ReadWithRetry(&value, 1) == 1 ? value : 0;
}

void TPagedFile::WriteByte(uint8_t value) {
  WriteAtPosition(&value, 1);
  if (FPosition > FCachedSize) {
    FCachedSize = FPosition;
    FNeedRecalc = true;
  }
}

int32_t TPagedFile::ReadRecord(int32_t recNo, void* buffer) {
  return ReadChunk(buffer, FRecordSize, CalcPageOffset(recNo));
}

void TPagedFile::WriteRecord(int32_t recNo, const void* buffer) {
  Seek(CalcPageOffset(recNo));
  WriteAtPosition(buffer, FRecordSize);
  if (FRecordSize <= 0) return;
  while (FCachedSize < FPosition) {
    FCachedSize += FRecordSize;
    FRecordCount += FPagesPerRecord;
  }
}

void TPagedFile::LockRange(int32_t pageNo, uint64_t& offset, uint64_t& length) const {
  if (FVirtualLocks) {
    offset = kVirtualLockBase - static_cast<uint32_t>(pageNo);
    length = 1;
  } else {
    const int64_t start = CalcPageOffset(pageNo);
    offset = start < 0 ? 0 : static_cast<uint64_t>(start);
    length = FRecordSize > 0 ? static_cast<uint64_t>(FRecordSize) : 1;
  }
}

bool TPagedFile::LockPage(int32_t pageNo, bool wait) {
  if (!FNeedLocks) return true;
  if (!FStream) return false;
  uint64_t offset, length;
  LockRange(pageNo, offset, length);
  for (;;) {
    const platform::LockResult result = FStream->Lock(offset, length);
    if (result == platform::LockResult::Locked) return true;
    if (!wait || result != platform::LockResult::Violation) return false;
    platform::Sleep(kLockPollMs);
  }
}

void TPagedFile::UnlockPage(int32_t pageNo) {
  if (!FNeedLocks || !FStream) return;
  uint64_t offset, length;
  LockRange(pageNo, offset, length);
  FStream->Unlock(offset, length);
}

void TPagedFile::TryExclusive() {
  if (FTempMode != pfNone || !IsSharedAccess()) return;
  FTempMode = ReopenMode(FMode);
  CloseFile();
  FMode = pfExclusiveOpen;
  try {
    OpenFile();
  } catch (const platform::EFOpenError&) {
    // Another writer has the file open: stay shared; callers check IsSharedAccess().
    EndExclusive();
  }
}

void TPagedFile::EndExclusive() {
  if (FTempMode == pfNone) return;
  CloseFile();
  FMode = FTempMode;
  FTempMode = pfNone;
  OpenFile();
}

}  // namespace dbf
