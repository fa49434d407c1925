// What the table file asks of each of its index files while records are appended, edited and
// deleted. An index file is a paged file (its write-error flag is the one the table file checks
// after each step) that keeps the keys of records; record numbers are 1-based. Key operations
// never throw for write failures: they set the paged file's write-error flag.
#pragma once

#include <cstdint>

#include "dbf/dbf_pgfile.h"

namespace dbf {

class TIndexFileBase : public TPagedFile {
 public:
  using TPagedFile::TPagedFile;

  // True when appending `record` would put a second equal key into a unique tag.
  virtual bool CheckKeyViolation(const uint8_t* record) = 0;
  // Raises the key-violation EDbfError for `record` (after CheckKeyViolation said yes).
  [[noreturn]] virtual void RaiseKeyViolation(int32_t recNo, const uint8_t* record) = 0;
  virtual void InsertKeys(int32_t recNo, const uint8_t* record) = 0;
  virtual void DeleteKeys(int32_t recNo, const uint8_t* record) = 0;
  // Moves the record's keys from the bytes it had to the bytes it has now.
  virtual void UpdateKeys(int32_t recNo, const uint8_t* oldRecord, const uint8_t* newRecord) = 0;
  // After the record's deletion flag changed.
  virtual void RecordDeleted(int32_t recNo, const uint8_t* record) = 0;
};

}  // namespace dbf
