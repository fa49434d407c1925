// tabulet-cli append TABLE [FILE|-]: appends records read as JSON Lines, in shared access
// through the engine's append protocol, so several appenders may run at once. A line is
// either an object mapping field names (any case) to values, or a record line as `dump`
// writes it ({"recno":…,"deleted":…,"values":[…]} in field order); dump's header line is
// skipped. Values take dump's forms: text (UTF-8, converted to the table's code page),
// numbers, true/false, "YYYY-MM-DD", "YYYY-MM-DDThh:mm:ss", null; memo fields of type M take
// text, B and G base64. Fields not given keep their defaults; autoincrement fields are always
// numbered by the table. A bad line stops the run with its number and the reason; the records
// before it stay appended.
#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/value_text.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "dbf/dbf_str.h"
#include "platform/codepage.h"
#include "platform/datetime.h"
#include "platform/exceptions.h"

namespace cli {
namespace {

using dbf::TDbfFieldDef;
using nlohmann::json;

// A value that cannot go into its field; the caller adds the line number.
class BadValue : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RecordAppender {
 public:
  explicit RecordAppender(dbf::TDbfFile& table)
      : table_(table), record_(static_cast<size_t>(table.GetRecordSize())) {}

  // Appends the record a line describes; false for a line that is no record (dump's header).
  bool Append(const json& line) {
    if (!line.is_object()) throw BadValue("a line must be a JSON object");
    if (line.contains("fields") && line.contains("level") && line.contains("records")) return false;
    table_.InitRecord(record_.data());
    const auto values = line.find("values");
    if (values != line.end() && values->is_array() && line.contains("recno"))
      SetFromDumpLine(line, *values);
    else
      SetFromObject(line);
    table_.Insert(record_.data());
    return true;
  }

 private:
  void SetFromDumpLine(const json& line, const json& values) {
    const int32_t count = table_.FieldDefs().Count();
    if (static_cast<int32_t>(values.size()) != count)
      throw BadValue(fmt::format("\"values\" holds {} values for {} fields", values.size(), count));
    for (int32_t i = 0; i < count; ++i) SetField(i, values[static_cast<size_t>(i)]);
    const auto deleted = line.find("deleted");
    if (deleted != line.end() && deleted->is_boolean() && deleted->get<bool>())
      record_[0] = dbf::kRecordDeleted;
  }

  void SetFromObject(const json& line) {
    for (const auto& [name, value] : line.items()) {
      const std::string stored = platform::FromUtf8(table_.UseCodePage(), name);
      const TDbfFieldDef* def = table_.GetFieldInfo(stored);
      if (!def) throw BadValue(fmt::format("the table has no field \"{}\"", name));
      SetField(def->Index(), value);
    }
  }

  void SetField(int32_t index, const json& value) {
    const TDbfFieldDef& def = table_.FieldDefs().Items(index);
    try {
      if (value.is_null())
        return table_.SetFieldData(index, def.FieldType(), nullptr, record_.data());
      SetValue(index, def, value);
    } catch (const BadValue& error) {
      throw BadValue(fmt::format("field {}: {}", def.FieldName, error.what()));
    }
  }

  void SetValue(int32_t index, const TDbfFieldDef& def, const json& value) {
    uint8_t* record = record_.data();
    switch (def.NativeFieldType()) {
      case 'C': {
        const std::string text = platform::FromUtf8(table_.UseCodePage(), Text(value));
        if (static_cast<int32_t>(text.size()) > def.Size())
          throw BadValue(
              fmt::format("the text needs {} bytes, the field holds {}", text.size(), def.Size()));
        return table_.SetFieldData(index, dbf::ftString, text.c_str(), record);
      }
      case 'N':
      case 'F':
        if (value.is_number_integer() && def.Precision() == 0) {
          const int64_t number = Integer(value);
          return table_.SetFieldData(index, dbf::ftLargeint, &number, record);
        } else {
          const double number = Number(value);
          return table_.SetFieldData(index, dbf::ftFloat, &number, record);
        }
      case 'O': {
        const double number = Number(value);
        return table_.SetFieldData(index, dbf::ftFloat, &number, record);
      }
      case 'I': {
        const int64_t number = Integer(value);
        return table_.SetFieldData(index, dbf::ftLargeint, &number, record);
      }
      case '+':
        return;  // numbered by the table
      case 'L': {
        if (!value.is_boolean()) throw BadValue("expected true or false");
        const int16_t flag = value.get<bool>() ? 1 : 0;
        return table_.SetFieldData(index, dbf::ftBoolean, &flag, record);
      }
      case 'D': {
        const int32_t day = dbf::DateTimeToDayNumber(DateTime(value, false));
        return table_.SetFieldData(index, dbf::ftDate, &day, record);
      }
      case 'T':
      case '@': {
        const double stamp = dbf::DateTimeToBDETimeStamp(DateTime(value, true));
        return table_.SetFieldData(index, dbf::ftDateTime, &stamp, record);
      }
      case 'M':
      case 'B':
      case 'G':
        return StoreMemo(index, def, value);
      default:
        throw BadValue("the field's type cannot be written");
    }
  }

  void StoreMemo(int32_t index, const TDbfFieldDef& def, const json& value) {
    std::string bytes;
    if (def.NativeFieldType() == 'M')
      bytes = platform::FromUtf8(table_.UseCodePage(), Text(value));
    else if (!Base64Decode(Text(value), bytes))
      throw BadValue("expected base64 text");
    int32_t block = 0;
    table_.MemoFile()->StoreMemo(block, 0, bytes);
    if (block == 0) return table_.SetFieldData(index, dbf::ftInteger, nullptr, record_.data());
    table_.SetFieldData(index, dbf::ftInteger, &block, record_.data());
  }

  static const std::string& Text(const json& value) {
    if (!value.is_string()) throw BadValue("expected text");
    return value.get_ref<const std::string&>();
  }
  static double Number(const json& value) {
    if (!value.is_number()) throw BadValue("expected a number");
    return value.get<double>();
  }
  static int64_t Integer(const json& value) {
    if (value.is_number_integer()) {
      if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX))
        throw BadValue("the number is too large");
      return value.get<int64_t>();
    }
    const double number = Number(value);
    if (std::trunc(number) != number || std::fabs(number) > 9.2e18)
      throw BadValue("expected a whole number");
    return static_cast<int64_t>(number);
  }
  static platform::TDateTime DateTime(const json& value, bool withTime) {
    const auto parts = ParseIsoDateTime(Text(value), withTime);
    platform::TDateTime date = 0, time = 0;
    if (!parts || !platform::TryEncodeDate(parts->Year, parts->Month, parts->Day, date) ||
        !platform::TryEncodeTime(parts->Hour, parts->Minute, parts->Second, 0, time))
      throw BadValue(withTime ? "expected a date \"YYYY-MM-DD\" or \"YYYY-MM-DDThh:mm:ss\""
                              : "expected a date \"YYYY-MM-DD\"");
    return date + time;
  }

  dbf::TDbfFile& table_;
  std::vector<uint8_t> record_;
};

void AppendLines(dbf::TDbfFile& table, std::istream& in) {
  RecordAppender appender(table);
  std::string text;
  for (long lineNo = 1; std::getline(in, text); ++lineNo) {
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      appender.Append(json::parse(text));
    } catch (const json::exception& error) {
      throw std::runtime_error(fmt::format("line {}: not JSON: {}", lineNo, error.what()));
    } catch (const std::exception& error) {
      throw std::runtime_error(fmt::format("line {}: {}", lineNo, error.what()));
    }
  }
  if (in.bad()) throw std::runtime_error("cannot read the input");
}

void RunAppend(const std::string& path, const std::string& input) {
  dbf::TDbfFile table(path);
  table.SetMode(dbf::pfReadWriteOpen);
  table.SetAutoCreate(false);
  table.SetUseFloatFields(true);
  table.Open();
  if (table.ForceClose()) throw platform::EDbfError(dbf::STRING_INVALID_DBF_FILE);
  if (input.empty() || input == "-") return AppendLines(table, std::cin);
  std::ifstream file(input, std::ios::binary);
  if (!file) throw std::runtime_error(fmt::format("cannot open {}", input));
  AppendLines(table, file);
}

}  // namespace

void AddAppendCommand(CLI::App& app) {
  CLI::App* append = app.add_subcommand("append", "Append records given as JSON Lines");
  auto path = std::make_shared<std::string>();
  auto input = std::make_shared<std::string>();
  append->add_option("TABLE", *path, "the .dbf file")->required();
  append->add_option("FILE", *input, "JSON Lines to read; - or nothing for standard input");
  append->callback([=] { RunAppend(*path, *input); });
}

}  // namespace cli
