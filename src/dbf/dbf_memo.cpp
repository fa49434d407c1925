#include "dbf/dbf_memo.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "dbf/dbf_common.h"
#include "platform/byte_order.h"
#include "platform/exceptions.h"

namespace dbf {
namespace {

constexpr int32_t kMemoHeaderSize = 512;
constexpr uint8_t kEndMark = 0x1A;
// Offsets are signed 32-bit: a memo must end below 2 GiB.
constexpr int64_t kMaxFileSize = INT32_MAX;

// dBASE header: next free block (LE32), version byte, block size (LE16).
constexpr size_t kDbaseFreeBlock = 0;
constexpr size_t kDbaseVersion = 16;
constexpr size_t kDbaseBlockSize = 20;
// FoxPro header: next free block (BE32), block size (BE16).
constexpr size_t kFoxFreeBlock = 0;
constexpr size_t kFoxBlockSize = 6;
// The counted dBASE memo's first four bytes.
constexpr uint8_t kCountedSignature[4] = {0xFF, 0xFF, 0x08, 0x00};

int32_t BlocksFor(int64_t bytes, int32_t blockSize) {
  return static_cast<int32_t>((bytes + blockSize - 1) / blockSize);
}

}  // namespace

TMemoFile::TMemoFile(const std::string& fileName) : TPagedFile(fileName) {}

TMemoFile::~TMemoFile() {
  Close();
}

void TMemoFile::Open() {
  if (FOpened) return;
  SetHeaderOffset(0);
  SetPageOffsetByHeader(false);
  OpenFile();
  SetHeaderSize(kMemoHeaderSize);
  if (FDbfVersion == 2) FHeader[kDbaseVersion] = 3;
  SetVirtualLocks(false);
  if (IsCreateMode()) {
    const bool usable = FRequestedBlockSize >= 1 && FRequestedBlockSize <= kMemoHeaderSize;
    SetFreeBlockPointer(usable ? kMemoHeaderSize / FRequestedBlockSize : 1);
    SetHeaderBlockSize(FRequestedBlockSize);
    WriteHeader();
  }
  SetRecordSize(HeaderBlockSize());
  CheckBlockSize();
  // Room for a whole block plus two zero bytes, and never less than a memo head.
  FBlockBuffer.assign(static_cast<size_t>(std::max(FPageSize, 8)) + 2, 0);
  FOpened = true;
}

void TMemoFile::Close() {
  if (!FOpened) return;
  CloseFile();
  FBlockBuffer.clear();
  FBlockBuffer.shrink_to_fit();
  FOpened = false;
}

bool TMemoFile::ReadBlock(int32_t blockNo) {
  const int32_t got = ReadRecord(blockNo, FBlockBuffer.data());
  if (got <= 0) return false;
  std::fill(FBlockBuffer.begin() + got, FBlockBuffer.end(), 0);
  return true;
}

void TMemoFile::LoadMemo(int32_t blockNo, std::string& memo) {
  memo.clear();
  if (blockNo <= 0 || FPageSize <= 0 || !FOpened || !ReadBlock(blockNo)) return;
  const int32_t length = StoredMemoSize();
  if (length == -1) {
    LoadTerminated(blockNo, memo);
  } else if (length > 0) {
    LoadCounted(blockNo, length, memo);
  }
}

void TMemoFile::LoadCounted(int32_t blockNo, int32_t length, std::string& memo) {
  const auto* block = reinterpret_cast<const char*>(FBlockBuffer.data());
  int64_t remaining = length;
  const int32_t firstRoom = std::max(FPageSize - 8, 0);
  const int64_t first = std::min<int64_t>(remaining, firstRoom);
  memo.append(block + 8, static_cast<size_t>(first));
  remaining -= first;
  // The length is the file's claim; the blocks that really exist bound what is read.
  while (remaining > 0 && ReadBlock(++blockNo)) {
    const int64_t part = std::min<int64_t>(remaining, FPageSize);
    memo.append(block, static_cast<size_t>(part));
    remaining -= part;
  }
}

void TMemoFile::LoadTerminated(int32_t blockNo, std::string& memo) {
  const auto* block = FBlockBuffer.data();
  for (;;) {
    // A mark followed by another mark or a zero ends the memo; a lone mark is data, and the
    // search goes on behind it.
    for (int32_t from = 0;;) {
      int32_t mark = MemScan(block + from, kEndMark, FPageSize - from);
      if (mark < 0) break;
      mark += from;
      if (mark >= FPageSize - 1) break;
      if (block[mark + 1] == kEndMark || block[mark + 1] == 0) {
        memo.append(reinterpret_cast<const char*>(block), static_cast<size_t>(mark));
        return;
      }
      from = mark + 1;
    }
    memo.append(reinterpret_cast<const char*>(block), static_cast<size_t>(FPageSize));
    const uint8_t last = block[FPageSize - 1];
    if (!ReadBlock(++blockNo)) return;
    if (last == kEndMark && (block[0] == kEndMark || block[0] == 0)) {
      memo.pop_back();
      return;
    }
  }
}

int32_t TMemoFile::FirstDataBlock() const {
  return FPageSize >= kMemoHeaderSize ? 1 : BlocksFor(kMemoHeaderSize, FPageSize);
}

void TMemoFile::StoreMemo(int32_t& blockNo, int32_t oldSize, std::string_view memo) {
  if (memo.empty()) {
    blockNo = 0;
    return;
  }
  if (FPageSize <= HeadBytes() + EndBytes())
    throw platform::EDbfError(
        fmt::format("Cannot store a memo in \"{}\": its block size of {} bytes cannot hold one.",
                    FFileName, FPageSize));
  const int64_t total = int64_t(memo.size()) + HeadBytes() + EndBytes();
  const int32_t needed = BlocksFor(total, FPageSize);
  const int32_t held = oldSize > 0 ? BlocksFor(oldSize, FPageSize) : 0;
  // A damaged record may point into the header; such a memo is never rewritten in place.
  const bool append = needed > held || blockNo < FirstDataBlock();
  if (!append) {
    WriteBlocks(blockNo, memo);
    return;
  }
  // The header block stays locked from reading the free pointer until it has advanced.
  LockPage(0, true);
  struct HeaderLock {
    TMemoFile& file;
    ~HeaderLock() { file.UnlockPage(0); }
  } headerLock{*this};
  ReadHeader();
  blockNo = FreeBlockPointer();
  if (blockNo <= 0) {
    blockNo = std::max(FirstDataBlock(), 1);
    SetFreeBlockPointer(blockNo);
  }
  if ((int64_t(blockNo) + needed) * FPageSize > kMaxFileSize)
    throw platform::EDbfError(fmt::format(
        "Cannot store a memo in \"{}\": its next free block {} lies beyond the file size limit.",
        FFileName, blockNo));
  WriteBlocks(blockNo, memo);
  SetFreeBlockPointer(blockNo + needed);
  WriteHeader();
}

void TMemoFile::WriteBlocks(int32_t blockNo, std::string_view memo) {
  uint8_t* block = FBlockBuffer.data();
  std::fill(block, block + FPageSize, ' ');
  int32_t head = HeadBytes();
  if (head != 0) WriteMemoHead(static_cast<int32_t>(memo.size()));
  int32_t endBytes = EndBytes();
  size_t at = 0;
  for (int32_t current = blockNo;; ++current) {
    const int32_t room = FPageSize - head;
    int32_t count = static_cast<int32_t>(std::min<size_t>(memo.size() - at, size_t(room)));
    std::memcpy(block + head, memo.data() + at, static_cast<size_t>(count));
    at += static_cast<size_t>(count);
    while (count < room && endBytes > 0) {
      block[head + count++] = kEndMark;
      --endBytes;
    }
    if (count == 0) return;
    std::fill(block + head + count, block + FPageSize, ' ');
    WriteRecord(current, block);
    head = 0;
  }
}

int32_t TDbaseMemoFile::HeaderBlockSize() {
  return FDbfVersion == 2 ? 512 : platform::GetLE16(FHeader.data() + kDbaseBlockSize);
}

int32_t TDbaseMemoFile::StoredMemoSize() {
  if (std::memcmp(FBlockBuffer.data(), kCountedSignature, 4) != 0) return -1;
  return static_cast<int32_t>(platform::GetLE32(FBlockBuffer.data() + 4) - 8u);
}

int32_t TDbaseMemoFile::FreeBlockPointer() {
  return static_cast<int32_t>(platform::GetLE32(FHeader.data() + kDbaseFreeBlock));
}

void TDbaseMemoFile::SetFreeBlockPointer(int32_t blockNo) {
  platform::PutLE32(FHeader.data() + kDbaseFreeBlock, static_cast<uint32_t>(blockNo));
}

void TDbaseMemoFile::SetHeaderBlockSize(int32_t size) {
  platform::PutLE16(FHeader.data() + kDbaseBlockSize, static_cast<uint16_t>(size));
}

void TDbaseMemoFile::WriteMemoHead(int32_t dataLength) {
  std::memcpy(FBlockBuffer.data(), kCountedSignature, 4);
  platform::PutLE32(FBlockBuffer.data() + 4, static_cast<uint32_t>(dataLength) + 8u);
}

void TDbaseMemoFile::CheckBlockSize() {
  if (FPageSize != 0 && FPageSize % 128 == 0) return;
  SetHeaderBlockSize(512);
  SetRecordSize(512);
  // A file opened only for reading is never written; the repair lives in memory.
  if (FMode != pfReadOnly) WriteHeader();
}

int32_t TFoxProMemoFile::HeaderBlockSize() {
  return platform::GetBE16(FHeader.data() + kFoxBlockSize);
}

int32_t TFoxProMemoFile::StoredMemoSize() {
  return static_cast<int32_t>(platform::GetBE32(FBlockBuffer.data() + 4));
}

int32_t TFoxProMemoFile::FreeBlockPointer() {
  return static_cast<int32_t>(platform::GetBE32(FHeader.data() + kFoxFreeBlock));
}

void TFoxProMemoFile::SetFreeBlockPointer(int32_t blockNo) {
  platform::PutBE32(FHeader.data() + kFoxFreeBlock, static_cast<uint32_t>(blockNo));
}

void TFoxProMemoFile::SetHeaderBlockSize(int32_t size) {
  platform::PutBE16(FHeader.data() + kFoxBlockSize, static_cast<uint16_t>(size));
}

void TFoxProMemoFile::WriteMemoHead(int32_t dataLength) {
  platform::PutBE32(FBlockBuffer.data(), 1);
  platform::PutBE32(FBlockBuffer.data() + 4, static_cast<uint32_t>(dataLength));
}

}  // namespace dbf
