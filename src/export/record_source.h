// What the HTML export needs of a table: a forward walk over its records and each field's
// text. Implemented over the table file directly and over the table component, so the writer
// never knows which one feeds it. Field indexes are 0-based in field order, hidden fields
// included. Texts are UTF-8.
#pragma once

#include <cstdint>

#include "export/text_buffer.h"

namespace exporter {

class TRecordSource {
 public:
  virtual ~TRecordSource() = default;
  virtual void GoFirst() = 0;
  // True once the walk has moved past the last record (at once for an empty table).
  virtual bool IsAtEnd() = 0;
  virtual void GoNext() = 0;
  virtual int FieldCount() = 0;
  // Numeric kinds are right-aligned.
  virtual bool IsRightAligned(int field) = 0;
  // Appends the current record's value of the field to `text` (nothing for no value). The
  // writer passes its output buffer, so a source formats in place and need not allocate.
  virtual void FieldText(int field, TTextBuffer& text) = 0;
  // True when field i's texts can never hold a character HTML treats specially (&, <, >, "),
  // so the writer need not look for them: numbers, logicals and the like.
  virtual bool IsPlainText(int /*field*/) { return false; }
  // Records the walk will visit at most, for progress reports; -1 when unknown.
  virtual int64_t RecordTotal() { return -1; }
};

}  // namespace exporter
