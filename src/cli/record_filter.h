// The --filter option of the reading subcommands: a table expression that selects records,
// compiled the way the table component compiles its Filter (string fields trimmed and
// translated to the ANSI code page, comparisons ignoring case). The text arrives as UTF-8 and
// is converted to the ANSI code page first, so that its literals compare with the translated
// fields. Borrows the table file, which must outlive the filter.
#pragma once

#include <cstdint>
#include <string>

#include "dbf/dbf_parser.h"

namespace dbf {
class TDbfFile;
}

namespace cli {

class RecordFilter {
 public:
  // Throws UsageError naming the problem when the text does not compile or is not logical.
  RecordFilter(dbf::TDbfFile& table, const std::string& utf8Expression);
  // True when the expression holds for the record (its bytes as stored).
  bool Accepts(const uint8_t* record) { return *parser_.EvaluateRecord(record) != 0; }

 private:
  dbf::TDbfParser parser_;
};

}  // namespace cli
