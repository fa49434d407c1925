// Exports tables made of arbitrary bytes: every field kind formatted with the locale settings,
// through the page writer into /dev/null. Nothing may fail but the table's own refusal to open.
// Seeds: fuzz/corpus/dbf_table.
#include <cstdint>

#include "export/dbf_file_source.h"
#include "export/html_export.h"
#include "fuzz_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::WithTable(data, size, [](dbf::TDbfFile& table) {
    exporter::TDbfFileSource source(table);
    exporter::ExportHtml(source, exporter::TExportSettings(), "/dev/null");
  });
  return 0;
}
