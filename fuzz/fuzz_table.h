// What the table fuzz targets share: the input's bytes become a table file (one scratch file
// per fuzzing process, rewritten for every input), which is opened read-only and handed to the
// target. The engine's answers to bad bytes are expected; any other exception escapes and
// counts as a finding.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dbf/dbf_dbffile.h"
#include "platform/exceptions.h"

namespace fuzzing {

inline const std::string& ScratchPath() {
  static const std::string path = [] {
    std::string pattern = "/tmp/tabulet-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    return pattern;
  }();
  return path;
}

// Calls use(table) for the table the bytes make, unless it does not open.
template <typename Use>
void WithTable(const uint8_t* data, size_t size, Use use) {
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
    if (!table.ForceClose()) use(table);
  } catch (const platform::EDbfError&) {
    // "Invalid DBF file." and the field-count error are the expected answers to bad bytes.
  } catch (const platform::Exception& error) {
    // A table with memo fields whose memo file is missing may not open; nothing else may fail.
    if (std::string(error.what()).rfind("Open: file not found:", 0) != 0) throw;
  }
}

}  // namespace fuzzing
