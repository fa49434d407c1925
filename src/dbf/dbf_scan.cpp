#include "dbf/dbf_scan.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/exceptions.h"

namespace dbf {

TRecordScanner::TRecordScanner(TDbfFile& table, int32_t chunkBytes) : FTable(table) {
  const int32_t recordSize = std::max(table.GetRecordSize(), 1);
  FPerChunk = std::max<int32_t>(1, chunkBytes / recordSize);
  FChunk.resize(static_cast<size_t>(FPerChunk) * static_cast<size_t>(recordSize));
  Restart();
}

void TRecordScanner::Restart() {
  FCount = FTable.GetRecordCount();
  FChunkFirst = 1;
  FChunkRecords = 0;
  FNext = 1;
}

bool TRecordScanner::Next(int32_t& recNo, const uint8_t*& record) {
  if (FNext > FCount) return false;
  const int32_t recordSize = FTable.GetRecordSize();
  if (FNext >= FChunkFirst + FChunkRecords) {
    FChunkFirst = FNext;
    FChunkRecords = std::min(FPerChunk, FCount - FNext + 1);
    const int32_t wanted = FChunkRecords * recordSize;
    const int32_t got = FTable.ReadChunk(FChunk.data(), wanted, FTable.CalcPageOffset(FNext));
    if (got < wanted)
      throw platform::EDbfError(
          fmt::format("Record {} cannot be read.", FChunkFirst + got / recordSize));
  }
  recNo = FNext++;
  record = FChunk.data() + static_cast<size_t>(recNo - FChunkFirst) * recordSize;
  return true;
}

}  // namespace dbf
