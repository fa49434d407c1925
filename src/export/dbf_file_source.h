// The export's record source over a table file read directly, without the table component:
// records in file order, those flagged deleted skipped, each field decoded as its own kind
// and formatted with the locale settings in force when the source is made (short date, long
// time, decimal separator); text is converted from the table's code page to UTF-8. A filter,
// when set, passes over the records it refuses as well. Borrows the table file, which must be
// open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_scan.h"
#include "export/record_source.h"
#include "platform/format.h"

namespace exporter {

class TDbfFileSource : public TRecordSource {
 public:
  // True for a record (its bytes as stored) that belongs on the page.
  using TRecordFilter = std::function<bool(const uint8_t* record)>;

  explicit TDbfFileSource(dbf::TDbfFile& table);
  // Applies from the next GoFirst.
  void SetFilter(TRecordFilter filter) { FFilter = std::move(filter); }
  void GoFirst() override;
  bool IsAtEnd() override { return FRecord == nullptr; }
  void GoNext() override;
  int FieldCount() override;
  bool IsRightAligned(int field) override;
  void FieldText(int field, std::string& text) override;
  bool IsPlainText(int field) override;
  int64_t RecordTotal() override { return FScanner.RecordCount(); }

 private:
  void SkipDeleted();
  std::string_view StoredText(const dbf::TDbfFieldDef& def) const;
  void AppendFloat(const dbf::TDbfFieldDef& def, std::string& text);
  void AppendDate(const dbf::TDbfFieldDef& def, std::string& text);
  void AppendDateTime(platform::TDateTime value, std::string& text);

  dbf::TDbfFile& FTable;
  dbf::TRecordScanner FScanner;
  const uint8_t* FRecord = nullptr;
  char FDecimalSeparator;
  platform::TDateTimePattern FShortDate;
  platform::TDateTimePattern FLongTime;
  bool FPlainDate;  // the date and time patterns write no HTML-special characters
  bool FPlainTime;
  std::string FMemo;
  TRecordFilter FFilter;
};

// Whether the export right-aligns fields of this kind: the numeric ones.
bool IsNumericKind(dbf::TFieldType kind);

}  // namespace exporter
