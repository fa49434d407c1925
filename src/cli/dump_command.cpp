// tabulet-cli dump TABLE [--deleted] [--filter EXPR]: the table as JSON Lines, read-only.
// First a header object, then one object per record with its values in field order: text
// trimmed of trailing blanks and converted to UTF-8, numbers as numbers, dates "YYYY-MM-DD",
// date-times "YYYY-MM-DDThh:mm:ss", logicals true/false, no value as null; memo fields of type
// M as text converted to UTF-8, of types B and G as base64, an empty memo as null. With a
// filter, only the records for which the table expression is true. Other tools (and
// `append`) read this output: keep it stable.
#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/record_filter.h"
#include "cli/table_reader.h"
#include "cli/value_text.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "dbf/dbf_scan.h"
#include "platform/codepage.h"

namespace cli {
namespace {

using dbf::TDbfFieldDef;
using dbf::TDbfFile;

// Output is written in pieces of about this size.
constexpr size_t kFlushSize = 1 << 16;
// Day number of 31 December 9999, the last date a text date can show.
constexpr double kLastDay = 3652059;

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20)
          fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<unsigned char>(c));
        else
          out += c;
    }
  }
  out += '"';
}

template <typename T>
void AppendNumber(std::string& out, T value) {
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) {
      out += "null";
      return;
    }
  }
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendDate(std::string& out, int32_t dayNumber) {
  int year, month, day;
  platform::DecodeDate(dbf::DayNumberToDateTime(dayNumber), year, month, day);
  fmt::format_to(std::back_inserter(out), "\"{:04}-{:02}-{:02}\"", year, month, day);
}

// Timestamp milliseconds to the nearest second below; null outside years 1 to 9999.
void AppendDateTime(std::string& out, double timeStamp) {
  const double rounded = std::round(timeStamp);
  const double dayNumber = std::floor(rounded / dbf::kMSecsPerDay);
  if (!std::isfinite(rounded) || dayNumber < 1 || dayNumber > kLastDay) {
    out += "null";
    return;
  }
  const int64_t milliseconds = static_cast<int64_t>(rounded - dayNumber * dbf::kMSecsPerDay);
  int year, month, day;
  platform::DecodeDate(dbf::DayNumberToDateTime(static_cast<int32_t>(dayNumber)), year, month, day);
  const int64_t seconds = milliseconds / 1000;
  fmt::format_to(std::back_inserter(out), "\"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}\"", year, month,
                 day, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

class RecordWriter {
 public:
  explicit RecordWriter(TDbfFile& table) : table_(table), codePage_(table.UseCodePage()) {
    int32_t longest = 0;
    for (int32_t i = 0; i < table.FieldDefs().Count(); ++i)
      longest = std::max(longest, table.FieldDefs().Items(i).Size());
    text_.resize(static_cast<size_t>(longest) + 1);
  }

  void Append(std::string& out, int32_t recNo, const uint8_t* record) {
    fmt::format_to(std::back_inserter(out), "{{\"recno\":{},\"deleted\":{},\"values\":[", recNo,
                   record[0] == dbf::kRecordDeleted ? "true" : "false");
    const dbf::TDbfFieldDefs& defs = table_.FieldDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) {
      if (i > 0) out += ',';
      AppendValue(out, defs.Items(i), record);
    }
    out += "]}\n";
  }

 private:
  template <typename T>
  bool Decode(const TDbfFieldDef& def, dbf::TFieldType kind, T& value, const uint8_t* record) {
    return table_.GetFieldDataFromDef(def, kind, &value, record);
  }

  void AppendValue(std::string& out, const TDbfFieldDef& def, const uint8_t* record) {
    using namespace dbf;
    int16_t small = 0;
    int32_t integer = 0;
    int64_t large = 0;
    double real = 0;
    switch (def.FieldType()) {
      case ftString:
        if (!table_.GetFieldDataFromDef(def, ftString, text_.data(), record)) break;
        utf8_.clear();
        platform::AppendUtf8(codePage_, std::string_view(text_.data()), utf8_);
        return AppendJsonString(out, utf8_);
      case ftSmallint:
        if (Decode(def, ftSmallint, small, record)) return AppendNumber(out, small);
        break;
      case ftInteger:
      case ftAutoInc:
        if (Decode(def, ftInteger, integer, record)) return AppendNumber(out, integer);
        break;
      case ftLargeint:
        if (Decode(def, ftLargeint, large, record)) return AppendNumber(out, large);
        break;
      case ftFloat:
      case ftCurrency:
        if (Decode(def, ftFloat, real, record)) return AppendNumber(out, real);
        break;
      case ftBoolean:
        if (Decode(def, ftBoolean, small, record)) {
          out += small ? "true" : "false";
          return;
        }
        break;
      case ftDate:
        if (Decode(def, ftDate, integer, record)) return AppendDate(out, integer);
        break;
      case ftDateTime:
        if (Decode(def, ftDateTime, real, record)) return AppendDateTime(out, real);
        break;
      case ftMemo:
      case ftBlob:
      case ftDBaseOle:
        if (table_.ReadMemo(def, record, memo_)) {
          if (def.FieldType() != ftMemo) return AppendJsonString(out, Base64Encode(memo_));
          utf8_.clear();
          platform::AppendUtf8(codePage_, memo_, utf8_);
          return AppendJsonString(out, utf8_);
        }
        break;
      default:
        break;
    }
    out += "null";
  }

  TDbfFile& table_;
  int32_t codePage_;
  std::vector<char> text_;
  std::string utf8_;
  std::string memo_;
};

std::string HeaderLine(const std::string& path, TDbfFile& table) {
  nlohmann::ordered_json header;
  header["file"] = path;
  header["level"] = dbf::TableLevelOfVersion(table.DbfVersion());
  header["version"] = StoredVersionByte(table);
  if (table.DbfVersion() == dbf::kDbfVersionDBase7) {
    const std::string name = table.GetLanguageStr();
    header["language_driver"] = name.substr(0, name.find('\0'));
  } else {
    header["language_driver"] = table.GetLanguageId();
  }
  header["code_page"] = table.UseCodePage();
  header["records"] = table.GetRecordCount();
  header["header_length"] = table.GetHeaderSize();
  header["record_length"] = table.GetRecordSize();
  nlohmann::ordered_json fields = nlohmann::ordered_json::array();
  for (int32_t i = 0; i < table.FieldDefs().Count(); ++i) {
    const TDbfFieldDef& def = table.FieldDefs().Items(i);
    fields.push_back({{"name", platform::ToUtf8(table.UseCodePage(), def.FieldName)},
                      {"type", std::string(1, def.NativeFieldType())},
                      {"length", def.Size()},
                      {"decimals", def.Precision()}});
  }
  header["fields"] = std::move(fields);
  return header.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

void Flush(std::string& out) {
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
    throw std::runtime_error("cannot write the output");
  out.clear();
}

void RunDump(const std::string& path, bool withDeleted, const std::string& filterText) {
  auto table = OpenTableReadOnly(path);
  std::unique_ptr<RecordFilter> filter;
  if (!filterText.empty()) filter = std::make_unique<RecordFilter>(*table, filterText);
  std::string out = HeaderLine(path, *table);
  RecordWriter writer(*table);
  dbf::TRecordScanner scanner(*table);
  int32_t recNo = 0;
  const uint8_t* record = nullptr;
  while (scanner.Next(recNo, record)) {
    if (record[0] == dbf::kRecordDeleted && !withDeleted) continue;
    if (filter && !filter->Accepts(record)) continue;
    writer.Append(out, recNo, record);
    if (out.size() >= kFlushSize) Flush(out);
  }
  Flush(out);
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write the output");
}

}  // namespace

void AddDumpCommand(CLI::App& app) {
  CLI::App* dump = app.add_subcommand("dump", "Write a table's records as JSON Lines");
  auto path = std::make_shared<std::string>();
  auto withDeleted = std::make_shared<bool>(false);
  auto filter = std::make_shared<std::string>();
  dump->add_option("TABLE", *path, "the .dbf file")->required();
  dump->add_flag("--deleted", *withDeleted, "also write records marked as deleted");
  dump->add_option("--filter", *filter,
                   "only the records for which this table expression is true, e.g. "
                   "\"CITY = 'Berlin' AND AMOUNT > 100\"");
  dump->callback([path, withDeleted, filter] { RunDump(*path, *withDeleted, *filter); });
}

}  // namespace cli
