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
  void FieldText(int field, TTextBuffer& text) override;
  bool IsPlainText(int field) override;
  int64_t RecordTotal() override { return FScanner.RecordCount(); }

 private:
  struct TCellPlan;
  // How a field's stored bytes become its text, chosen once per field.
  using TAppend = void (TDbfFileSource::*)(const TCellPlan& cell, TTextBuffer& text);
  struct TCellPlan {
    const dbf::TDbfFieldDef* Def;
    TAppend Append;  // null for the kinds the export leaves empty
    uint32_t Offset;
    uint32_t Size;
  };

  static TAppend AppendOf(const dbf::TDbfFieldDef& def);
  void SkipDeleted();
  void AppendText(const TCellPlan& cell, TTextBuffer& text);
  void AppendDecimalText(const TCellPlan& cell, TTextBuffer& text);
  void AppendFloat(const TCellPlan& cell, TTextBuffer& text);
  void AppendLogical(const TCellPlan& cell, TTextBuffer& text);
  void AppendDate(const TCellPlan& cell, TTextBuffer& text);
  void AppendDateTime(const TCellPlan& cell, TTextBuffer& text);
  void AppendMemo(const TCellPlan& cell, TTextBuffer& text);
  template <typename T, dbf::TFieldType Kind>
  void AppendInteger(const TCellPlan& cell, TTextBuffer& text);

  dbf::TDbfFile& FTable;
  std::vector<TCellPlan> FCells;
  int FCodePage;
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
