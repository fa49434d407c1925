// A walk over a table's records in file order that reads many consecutive records with one
// positioned read, for jobs that visit every record (export, dump, building keys). Borrows the
// table file; the record pointers it hands out stay valid until the next call. The record
// count is taken when the walk starts (asked afresh from the file in shared access).
#pragma once

#include <cstdint>
#include <vector>

#include "dbf/dbf_dbffile.h"

namespace dbf {

class TRecordScanner {
 public:
  explicit TRecordScanner(TDbfFile& table, int32_t chunkBytes = 1 << 18);
  // Starts over before record 1.
  void Restart();
  // The next record (1-based `recNo`), deleted ones included; false past the last. Throws
  // EDbfError when a record the file's size promised cannot be read.
  bool Next(int32_t& recNo, const uint8_t*& record);
  int32_t RecordCount() const { return FCount; }

 private:
  TDbfFile& FTable;
  int32_t FPerChunk;
  std::vector<uint8_t> FChunk;
  int32_t FCount = 0;
  int32_t FChunkFirst = 1;  // record number of the chunk's first record
  int32_t FChunkRecords = 0;
  int32_t FNext = 1;
};

}  // namespace dbf
