// tabulet-cli create TABLE --level 3|4|7|25 --field NAME:TYPE[:LENGTH[:DECIMALS]] ... [--force]
// Creates an empty table (and its memo file when a field needs one) with the engine's own
// CreateTable, in the code page the process locale gives new tables. Lengths left out take
// the writer's defaults: N 18 digits without decimals, F 18 digits with 9; types with a fixed
// length (L D M B G I + @ O) take theirs. Type C needs a length.
#include <fmt/format.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/value_text.h"
#include "dbf/dbf_common.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"

namespace cli {
namespace {

constexpr int kMaxNameLength = 10;
constexpr int kMaxNameLengthDBase7 = 31;
constexpr int kDefaultNumericLength = 18;
constexpr int kDefaultFloatDecimals = 9;
constexpr int32_t kMemoBlockSize = 512;

uint8_t VersionOfLevel(int level) {
  const uint8_t version = dbf::VersionOfTableLevel(level);
  if (version == 0) throw UsageError(fmt::format("bad level {}: use 3, 4, 7 or 25", level));
  return version;
}

// The fixed length of a type; 0 for C, N and F, whose length is chosen.
int FixedLength(char type) {
  switch (type) {
    case 'L':
      return 1;
    case 'D':
    case '@':
    case 'O':
      return 8;
    case 'I':
    case '+':
      return 4;
    case 'M':
    case 'B':
    case 'G':
      return 10;
    default:
      return 0;
  }
}

// Fills in the defaults and refuses what the table could not hold as asked.
void CheckFieldDefinition(TFieldSpec& definition, bool dBase7) {
  auto fail = [&](const std::string& why) {
    throw UsageError(fmt::format("field {}: {}", definition.Name, why));
  };
  const std::string types = dBase7 ? "CNFLDMBGI+@O" : "CNFLDMBG";
  if (types.find(definition.Type) == std::string::npos)
    fail(fmt::format("type {} is not one of {} at this level", definition.Type, types));
  const int maxName = dBase7 ? kMaxNameLengthDBase7 : kMaxNameLength;
  if (static_cast<int>(definition.Name.size()) > maxName)
    fail(fmt::format("the name is longer than {} characters", maxName));
  const bool numeric = definition.Type == 'N' || definition.Type == 'F';
  if (definition.Type == 'C') {
    if (definition.Length < 1 || definition.Length > dbf::kMaxCharSize)
      fail(fmt::format("type C needs a length from 1 to {}", dbf::kMaxCharSize));
  } else if (numeric) {
    if (definition.Length < 0) definition.Length = kDefaultNumericLength;
    if (definition.Decimals < 0)
      definition.Decimals = definition.Type == 'F' ? kDefaultFloatDecimals : 0;
    if (definition.Length < 1 || definition.Length > dbf::kMaxNumericSize)
      fail(fmt::format("type {} takes a length from 1 to {}", definition.Type,
                       dbf::kMaxNumericSize));
    if (definition.Decimals > 0 && definition.Decimals > definition.Length - 2)
      fail(fmt::format("{} decimals need a length of at least {}", definition.Decimals,
                       definition.Decimals + 2));
  } else {
    const int fixed = FixedLength(definition.Type);
    if (definition.Length >= 0 && definition.Length != fixed)
      fail(fmt::format("type {} has the fixed length {}", definition.Type, fixed));
    definition.Length = fixed;
  }
  if (!numeric && definition.Decimals > 0)
    fail(fmt::format("type {} has no decimals", definition.Type));
  if (!numeric) definition.Decimals = 0;
}

void RunCreate(const std::string& path, int level, const std::vector<std::string>& fieldTexts,
               bool force) {
  const uint8_t version = VersionOfLevel(level);
  const bool dBase7 = version == dbf::kDbfVersionDBase7;
  if (fieldTexts.empty()) throw UsageError("a table needs at least one --field");
  if (!force && std::filesystem::exists(path))
    throw UsageError(fmt::format("{} exists (--force replaces it)", path));

  dbf::TDbfFieldDefs defs;
  defs.SetDbfVersion(version);
  std::set<std::string> names;
  for (const std::string& text : fieldTexts) {
    TFieldSpec definition = ParseFieldSpec(text);
    definition.Name =
        platform::FromUtf8(dbf::DbfGlobals().DefaultCreateCodePage(), definition.Name);
    for (char& c : definition.Name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    CheckFieldDefinition(definition, dBase7);
    if (!names.insert(definition.Name).second)
      throw UsageError(fmt::format("field {} is defined twice", definition.Name));
    dbf::TDbfFieldDef& def = defs.Add();
    def.FieldName = definition.Name;
    // Size and decimals first: they decide a numeric field's kind.
    def.SetSize(definition.Length);
    def.SetPrecision(definition.Decimals);
    def.SetNativeFieldType(definition.Type);
  }

  dbf::TDbfFile table(path);
  table.SetMode(dbf::pfExclusiveCreate);
  table.SetAutoCreate(true);
  table.SetDbfVersion(version);
  table.Open();
  table.CreateTable(defs, kMemoBlockSize);
  table.Close();
}

}  // namespace

void AddCreateCommand(CLI::App& app) {
  CLI::App* create = app.add_subcommand("create", "Create an empty table");
  auto path = std::make_shared<std::string>();
  auto level = std::make_shared<int>(0);
  auto fields = std::make_shared<std::vector<std::string>>();
  auto force = std::make_shared<bool>(false);
  create->add_option("TABLE", *path, "the .dbf file to create")->required();
  create->add_option("--level", *level, "3, 4, 7 or 25 (FoxPro)")->required();
  create
      ->add_option("--field", *fields,
                   "NAME:TYPE[:LENGTH[:DECIMALS]], TYPE one of C N F L D M B G "
                   "(and I + @ O at level 7); repeat for each field")
      ->required();
  create->add_flag("--force", *force, "replace an existing table");
  create->callback([=] { RunCreate(*path, *level, *fields, *force); });
}

}  // namespace cli
