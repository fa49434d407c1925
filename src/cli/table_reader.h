// What the reading subcommands share: opening a table file read-only (nothing is written or
// created, the header is corrected in memory only) and the names of levels and field kinds.
#pragma once

#include <memory>
#include <string>

#include "dbf/dbf_dbffile.h"

namespace cli {

// Opens `path` as a table in pfReadOnly with float fields on. Throws the engine's errors; a
// table the engine declines (header or record length 0) is reported as invalid.
std::unique_ptr<dbf::TDbfFile> OpenTableReadOnly(const std::string& path);

// The version byte as stored in the file (the engine may have changed its memo bit in memory).
uint8_t StoredVersionByte(dbf::TDbfFile& table);

// "dBASE III", "dBASE IV", "FoxPro", "dBASE 7".
const char* LevelName(uint8_t dbfVersion);
// The field kind's name as the platform spells it ("ftString").
const char* FieldKindName(dbf::TFieldType kind);

}  // namespace cli
