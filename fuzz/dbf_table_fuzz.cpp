// Opens arbitrary bytes as a table file and decodes every field of every record in every
// kind the decoder knows, plus the header lookups. Only the engine's own errors may come out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "platform/exceptions.h"

namespace {

constexpr dbf::TFieldType kKinds[] = {dbf::ftString,   dbf::ftSmallint, dbf::ftInteger,
                                      dbf::ftLargeint, dbf::ftFloat,    dbf::ftBoolean,
                                      dbf::ftDate,     dbf::ftDateTime, dbf::ftMemo};

// One scratch file per fuzzing process, rewritten for every input.
const std::string& ScratchPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/tabulet-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
}

void DecodeAll(dbf::TDbfFile& table) {
  const int32_t count = table.GetRecordCount();
  std::vector<uint8_t> record(static_cast<size_t>(table.GetRecordSize()));
  // Big enough for any text field plus its terminator; 8-aligned for numbers.
  std::vector<uint64_t> dest(65536 / 8 + 1);
  const dbf::TDbfFieldDefs& defs = table.FieldDefs();
  for (int32_t recNo = 1; recNo <= count; ++recNo) {
    if (table.ReadRecord(recNo, record.data()) < table.GetRecordSize()) break;
    for (int32_t i = 0; i < defs.Count(); ++i) {
      const dbf::TDbfFieldDef& def = defs.Items(i);
      table.GetFieldDataFromDef(def, def.FieldType(), dest.data(), record.data());
      table.GetFieldDataFromDef(def, def.FieldType(), nullptr, record.data());
      for (const dbf::TFieldType kind : kKinds)
        table.GetFieldData(i, kind, dest.data(), record.data());
    }
  }
  for (int32_t i = 0; i < defs.Count(); ++i) table.GetFieldInfo(defs.Items(i).FieldName);
  table.HasBlob();
  table.GetLanguageStr();
  table.GetLanguageId();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  try {
    dbf::TDbfFile table(path);
    table.SetMode(dbf::pfReadOnly);
    table.SetUseFloatFields(size % 2 == 0);
    table.Open();
    if (!table.ForceClose()) DecodeAll(table);
  } catch (const platform::EDbfError&) {
    // "Invalid DBF file." and the field-count error are the expected answers to bad bytes.
  } catch (const platform::Exception& error) {
    // A table with memo fields whose memo file is missing may not open; nothing else may fail.
    if (std::string(error.what()).rfind("Open: file not found:", 0) != 0) throw;
  }
  return 0;
}
