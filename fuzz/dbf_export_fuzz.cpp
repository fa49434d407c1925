// Exports tables made of arbitrary bytes: every field kind formatted with the locale settings,
// through the page writer into /dev/null. Nothing may fail but the table's own refusal to open.
// Seeds: fuzz/corpus/dbf_table.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dbf/dbf_dbffile.h"
#include "export/dbf_file_source.h"
#include "export/html_export.h"
#include "platform/exceptions.h"

namespace {

// One scratch file per fuzzing process, rewritten for every input.
const std::string& ScratchPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/tabulet-export-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
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
    if (table.ForceClose()) return 0;
    exporter::TDbfFileSource source(table);
    exporter::ExportHtml(source, exporter::TExportSettings(), "/dev/null");
  } catch (const platform::EDbfError&) {
    // "Invalid DBF file." and the field-count error are the expected answers to bad bytes.
  } catch (const platform::Exception& error) {
    // A table with memo fields whose memo file is missing may not open; nothing else may fail.
    if (std::string(error.what()).rfind("Open: file not found:", 0) != 0) throw;
  }
  return 0;
}
