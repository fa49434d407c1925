// Memo files: the variable-length values of a table's memo fields, stored as chains of
// fixed-size blocks. Block n lies at offset n x block size; the first 512 bytes are the header
// (free-block pointer, block size), so blocks inside it are never handed out. A record holds
// only a memo's first block number. Memos are loaded and stored whole; a memo that outgrows
// its blocks moves to the end of the file and its old blocks are abandoned.
// TDbaseMemoFile (.dbt, little-endian header) serves dBASE III, IV and 7 tables;
// TFoxProMemoFile (.fpt, big-endian) serves FoxPro tables. Block writes never throw: failures
// set the paged file's write-error flag for the table file to check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/dbf_pgfile.h"

namespace dbf {

class TMemoFile : public TPagedFile {
 public:
  explicit TMemoFile(const std::string& fileName);
  ~TMemoFile() override;

  // Set by the owning table before Open: its version code (2, 3, 5, 6) and, when a new file
  // is created, the block size to write into its header (0 when opening an existing one).
  void SetDbfVersion(uint8_t version) { FDbfVersion = version; }
  void SetRequestedBlockSize(int32_t size) { FRequestedBlockSize = size; }

  void Open();
  void Close();
  bool IsOpened() const { return FOpened; }
  int32_t BlockSize() const { return FPageSize; }

  // Replaces `memo` with the memo whose first block is `blockNo`; empty for block numbers
  // of 0 or below, past the end of the file, or a damaged chain.
  void LoadMemo(int32_t blockNo, std::string& memo);
  // Stores `memo` whole. `blockNo` is in-out: the memo's current first block (0: none) on
  // entry, the stored memo's first block (0 for an empty memo) on return. `oldSize` is the
  // length of the memo currently stored there. Throws EDbfError when the file's block size
  // cannot hold a memo.
  void StoreMemo(int32_t& blockNo, int32_t oldSize, std::string_view memo);

  virtual int32_t HeaderBlockSize() = 0;
  // The data length a memo's first block (in the block buffer) announces; -1: terminated.
  virtual int32_t StoredMemoSize() = 0;
  virtual int32_t FreeBlockPointer() = 0;
  virtual void SetFreeBlockPointer(int32_t blockNo) = 0;
  virtual void SetHeaderBlockSize(int32_t size) = 0;

 protected:
  // Bytes before a memo's data in its first block, and end-mark bytes after its data.
  int32_t HeadBytes() const { return FDbfVersion == 2 ? 0 : 8; }
  int32_t EndBytes() const { return FDbfVersion == 2 ? 2 : 0; }
  virtual void WriteMemoHead(int32_t dataLength) = 0;
  // The dBASE file repairs a block size it cannot use; the FoxPro file takes any.
  virtual void CheckBlockSize() {}

  uint8_t FDbfVersion = 0;
  int32_t FRequestedBlockSize = 0;
  bool FOpened = false;
  std::vector<uint8_t> FBlockBuffer;

 private:
  // Reads a block into the buffer (zero past a short read); false when nothing was read.
  bool ReadBlock(int32_t blockNo);
  void LoadCounted(int32_t blockNo, int32_t length, std::string& memo);
  void LoadTerminated(int32_t blockNo, std::string& memo);
  // The first block that lies wholly after the 512-byte header.
  int32_t FirstDataBlock() const;
  void WriteBlocks(int32_t blockNo, std::string_view memo);
};

class TDbaseMemoFile : public TMemoFile {
 public:
  using TMemoFile::TMemoFile;
  int32_t HeaderBlockSize() override;
  int32_t StoredMemoSize() override;
  int32_t FreeBlockPointer() override;
  void SetFreeBlockPointer(int32_t blockNo) override;
  void SetHeaderBlockSize(int32_t size) override;

 protected:
  void WriteMemoHead(int32_t dataLength) override;
  void CheckBlockSize() override;
};

class TFoxProMemoFile : public TMemoFile {
 public:
  using TMemoFile::TMemoFile;
  int32_t HeaderBlockSize() override;
  int32_t StoredMemoSize() override;
  int32_t FreeBlockPointer() override;
  void SetFreeBlockPointer(int32_t blockNo) override;
  void SetHeaderBlockSize(int32_t size) override;

 protected:
  void WriteMemoHead(int32_t dataLength) override;
};

}  // namespace dbf
