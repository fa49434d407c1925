// tabulet-cli info TABLE: what the table's header and field descriptors say, read-only.
#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/table_reader.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"

namespace cli {
namespace {

std::string LanguageDriverText(dbf::TDbfFile& table) {
  if (table.DbfVersion() == dbf::kDbfVersionDBase7) {
    const std::string name = table.GetLanguageStr();
    return fmt::format("\"{}\"", name.substr(0, name.find('\0')));
  }
  return fmt::format("0x{:02X}", table.GetLanguageId());
}

std::string MemoFileText(dbf::TDbfFile& table) {
  if (!table.HasBlob()) return "none";
  const std::filesystem::path memo = table.MemoFileName();
  return fmt::format("{} ({})", memo.filename().string(),
                     std::filesystem::exists(memo) ? "present" : "missing");
}

void PrintFields(dbf::TDbfFile& table) {
  const dbf::TDbfFieldDefs& defs = table.FieldDefs();
  std::printf("fields           %d\n", defs.Count());
  std::printf("  %4s  %-12s %-4s %-12s %5s %8s %6s  %s\n", "#", "name", "type", "kind", "size",
              "decimals", "offset", "required");
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const dbf::TDbfFieldDef& def = defs.Items(i);
    const std::string name = platform::ToUtf8(table.UseCodePage(), def.FieldName);
    std::printf("  %4d  %-12s %-4c %-12s %5d %8d %6d  %s\n", i + 1, name.c_str(),
                def.NativeFieldType(), FieldKindName(def.FieldType()), def.Size(), def.Precision(),
                def.FOffset, def.Required ? "yes" : "no");
  }
}

void RunInfo(const std::string& path) {
  auto table = OpenTableReadOnly(path);
  const int32_t codePage = table->UseCodePage();
  std::printf("file             %s\n", path.c_str());
  std::printf("level            %s (table level %d)\n", LevelName(table->DbfVersion()),
              dbf::TableLevelOfVersion(table->DbfVersion()));
  std::printf("version byte     0x%02X\n", StoredVersionByte(*table));
  std::printf("language driver  %s\n", LanguageDriverText(*table).c_str());
  std::printf("code page        %d%s\n", codePage,
              table->FileCodePage() == 0 ? " (default; the table names none)" : "");
  std::printf("records          %d\n", table->GetRecordCount());
  std::printf("header length    %d\n", table->GetHeaderSize());
  std::printf("record length    %d\n", table->GetRecordSize());
  std::printf("memo file        %s\n", MemoFileText(*table).c_str());
  PrintFields(*table);
}

}  // namespace

void AddInfoCommand(CLI::App& app) {
  CLI::App* info = app.add_subcommand("info", "Show a table's level, code page, sizes and fields");
  auto path = std::make_shared<std::string>();
  info->add_option("TABLE", *path, "the .dbf file")->required();
  info->callback([path] { RunInfo(*path); });
}

}  // namespace cli
