#include "cli/table_reader.h"

#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/exceptions.h"

namespace cli {

std::unique_ptr<dbf::TDbfFile> OpenTableReadOnly(const std::string& path) {
  auto table = std::make_unique<dbf::TDbfFile>(path);
  table->SetMode(dbf::pfReadOnly);
  table->SetAutoCreate(false);
  table->SetUseFloatFields(true);
  table->Open();
  if (table->ForceClose()) throw platform::EDbfError(dbf::STRING_INVALID_DBF_FILE);
  return table;
}

uint8_t StoredVersionByte(dbf::TDbfFile& table) {
  uint8_t version = 0;
  table.ReadChunk(&version, 1, dbf::header::kVersion);
  return version;
}

const char* LevelName(uint8_t dbfVersion) {
  switch (dbfVersion) {
    case dbf::kDbfVersionDBase3:
      return "dBASE III";
    case dbf::kDbfVersionDBase4:
      return "dBASE IV";
    case dbf::kDbfVersionFoxPro:
      return "FoxPro";
    case dbf::kDbfVersionDBase7:
      return "dBASE 7";
    default:
      return "unknown";
  }
}

const char* FieldKindName(dbf::TFieldType kind) {
  using namespace dbf;
  switch (kind) {
    case ftString:
      return "ftString";
    case ftSmallint:
      return "ftSmallint";
    case ftInteger:
      return "ftInteger";
    case ftLargeint:
      return "ftLargeint";
    case ftFloat:
      return "ftFloat";
    case ftCurrency:
      return "ftCurrency";
    case ftBoolean:
      return "ftBoolean";
    case ftDate:
      return "ftDate";
    case ftDateTime:
      return "ftDateTime";
    case ftAutoInc:
      return "ftAutoInc";
    case ftMemo:
      return "ftMemo";
    case ftBlob:
      return "ftBlob";
    case ftDBaseOle:
      return "ftDBaseOle";
    default:
      return "ftUnknown";
  }
}

}  // namespace cli
