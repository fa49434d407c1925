#include "dbf/dbf_lang.h"

#include <array>
#include <cstring>

#include "platform/exceptions.h"
#include "platform/format.h"

namespace dbf {
namespace {

constexpr uint32_t Suffix(const char (&text)[4]) {
  return uint32_t(uint8_t(text[0])) | (uint32_t(uint8_t(text[1])) << 8) |
         (uint32_t(uint8_t(text[2])) << 16);
}
constexpr uint32_t Suffix(const char (&text)[3]) {
  return uint32_t(uint8_t(text[0])) | (uint32_t(uint8_t(text[1])) << 8);
}

struct Listed {
  uint8_t langId;
  int32_t codePage;
  uint32_t locale;
  uint32_t suffix;
};

// Bytes 0x00 and 0x05-0x5D are dBASE-style drivers, 0x01-0x04 and 0x5E-0xFF FoxPro-style.
constexpr bool IsFoxStyle(int langId) {
  return (langId >= 0x01 && langId <= 0x04) || langId >= 0x5E;
}

constexpr Listed kListed[] = {
    {0x00, 0, 0x10000, kLangNoName},
    {0x01, 437, 0x0409, Suffix("US0")},
    {0x02, 850, 0x0809, Suffix("UK0")},
    {0x03, 1252, 0x0809, Suffix("UK0")},
    {0x04, 10000, 0x0809, Suffix("UK0")},
    {0x08, 865, 0x0406, Suffix("DA0")},
    {0x09, 437, 0x0413, Suffix("NL0")},
    {0x0A, 850, 0x0413, Suffix("NL0")},
    {0x0B, 437, 0x040B, Suffix("FI0")},
    {0x0C, 850, 0x040B, Suffix("FI0")},
    {0x0D, 437, 0x040C, Suffix("FR0")},
    {0x0E, 850, 0x040C, Suffix("FR0")},
    {0x0F, 437, 0x0407, Suffix("DE0")},
    {0x10, 850, 0x0407, Suffix("DE0")},
    {0x11, 437, 0x0410, Suffix("IT0")},
    {0x12, 850, 0x0410, Suffix("IT1")},
    {0x13, 932, 0x0411, Suffix("JP0")},
    {0x14, 850, 0x040A, Suffix("ES0")},
    {0x15, 437, 0x041D, Suffix("SV0")},
    {0x16, 850, 0x041D, Suffix("SV1")},
    {0x17, 865, 0x0414, Suffix("NO0")},
    {0x18, 437, 0x040A, Suffix("ES1")},
    {0x19, 437, 0x0809, Suffix("UK0")},
    {0x1A, 850, 0x0809, Suffix("UK0")},
    {0x1B, 437, 0x0409, Suffix("US0")},
    {0x1C, 863, 0x0C0C, Suffix("CF1")},
    {0x1D, 850, 0x0C0C, Suffix("CF1")},
    {0x1F, 852, 0x0405, Suffix("CZ0")},
    {0x20, 867, 0x0405, Suffix("CZ0")},
    {0x22, 852, 0x040E, Suffix("HDC")},
    {0x23, 852, 0x0415, Suffix("PO0")},
    {0x24, 860, 0x0416, Suffix("PT0")},
    {0x25, 850, 0x0416, Suffix("PT0")},
    {0x26, 866, 0x0419, Suffix("RU0")},
    {0x37, 850, 0x0409, Suffix("US0")},
    {0x4D, 936, 0x0804, Suffix("CN0")},
    {0x4E, 949, 0x0412, Suffix("KO0")},
    {0x4F, 950, 0x0404, Suffix("TW0")},
    {0x50, 874, 0x041E, Suffix("TH0")},
    {0x56, 932, 0x0411, Suffix("JP1")},
    {0x57, 1252, 0x0000, Suffix("US0")},
    {0x58, 1252, 0x0809, Suffix("WE0")},
    {0x59, 1252, 0x040A, Suffix("ES0")},
    {0x5E, 437, 0x0407, Suffix("DE")},
    {0x5F, 437, 0x0414, Suffix("NO")},
    {0x60, 850, 0x0414, Suffix("NO")},
    {0x61, 1252, 0x0407, Suffix("DE")},
    {0x62, 1252, 0x0414, Suffix("NO")},
    {0x64, 852, 0x0405, Suffix("CZ0")},
    {0x65, 866, 0x0419, Suffix("RU0")},
    {0x66, 865, 0x0414, Suffix("NO")},
    {0x67, 861, 0x040F, Suffix("IC0")},
    {0x68, 895, 0x0405, Suffix("CZ0")},
    {0x69, 620, 0x0415, Suffix("PO1")},
    {0x6A, 737, 0x0408, Suffix("GR0")},
    {0x6B, 857, 0x041F, Suffix("TR0")},
    {0x78, 950, 0x0C04, Suffix("CH0")},
    {0x79, 949, 0x0412, Suffix("KO0")},
    {0x7A, 936, 0x21004, Suffix("CS0")},
    {0x7B, 932, 0x0411, Suffix("JP0")},
    {0x7C, 874, 0x041E, Suffix("TH0")},
    {0x7D, 1255, 0x040D, Suffix("REW")},
    {0x7E, 1256, 0x0401, Suffix("AR0")},
    {0x85, 862, 0x040D, Suffix("REW")},
    {0x86, 437, 0x0408, Suffix("GR0")},
    {0x87, 852, 0x041B, Suffix("SL0")},
    {0x88, 857, 0x041F, Suffix("TR0")},
    {0x8E, 868, 0x0402, kLangWholeName},
    {0x96, 10007, 0x0419, Suffix("RU0")},
    {0x97, 10029, 0x0405, Suffix("CZ0")},
    {0x98, 10006, 0x0408, Suffix("GR0")},
    {0x9B, 1250, 0x0405, 0},
    {0x9C, 850, 0x0405, 0},
    {0xC8, 1250, 0x0405, Suffix("CZ0")},
    {0xC9, 1251, 0x0419, Suffix("RU0")},
    {0xCA, 1254, 0x041F, Suffix("TR0")},
    {0xCB, 1253, 0x0408, Suffix("GR0")},
};

constexpr std::array<TLangDriver, 256> BuildTable() {
  std::array<TLangDriver, 256> table{};
  for (int id = 0; id < 256; ++id) table[id] = TLangDriver{0, 0, 0, IsFoxStyle(id)};
  for (const Listed& entry : kListed)
    table[entry.langId] =
        TLangDriver{entry.codePage, entry.locale, entry.suffix, IsFoxStyle(entry.langId)};
  return table;
}

constexpr std::array<TLangDriver, 256> kDrivers = BuildTable();

enum class KeyColumn { Locale, Suffix };

// The last matching dBASE-style byte wins unless FoxPro style is asked for and matched.
uint8_t Search(int32_t codePage, uint32_t key, KeyColumn column, bool fox) {
  int dbaseId = 0, foxId = 0;
  for (int id = 0; id < 256; ++id) {
    const TLangDriver& driver = kDrivers[id];
    if (codePage != 0 && codePage != driver.CodePage) continue;
    if ((column == KeyColumn::Locale ? driver.Locale : driver.Suffix) != key) continue;
    (driver.FoxStyle ? foxId : dbaseId) = id;
  }
  if (dbaseId != 0 && (!fox || foxId == 0)) return static_cast<uint8_t>(dbaseId);
  return static_cast<uint8_t>(foxId);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Digits only: the number; anything else (or nothing): 0.
int32_t Number(std::string_view digits) {
  if (digits.empty()) return 0;
  int32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

uint32_t PackSuffix(std::string_view text) {
  uint32_t packed = 0;
  for (size_t i = 0; i < text.size() && i < 3; ++i) packed |= uint32_t(uint8_t(text[i])) << (8 * i);
  return packed;
}

}  // namespace

const TLangDriver& LangDriver(uint8_t langId) {
  return kDrivers[langId];
}

uint8_t LangIdFromCodePage(int32_t cp, uint32_t locale, bool fox) {
  const uint32_t key = locale & 0xFFFFu;
  const uint8_t id = Search(cp, key, KeyColumn::Locale, fox);
  return id != 0 ? id : Search(0, key, KeyColumn::Locale, fox);
}

std::string LanguageDriverName(int32_t cp, uint32_t locale) {
  const TLangDriver& driver = kDrivers[LangIdFromCodePage(cp, locale, false)];
  if (driver.Suffix == kLangNoName) return std::string();
  if (driver.Suffix == kLangWholeName) return "BGDB868";
  std::string name = "DB";
  name += cp == 1252 ? std::string("WIN") : std::to_string(cp);
  for (int i = 0; i < 3; ++i) {
    const char c = static_cast<char>(driver.Suffix >> (8 * i));
    if (c == '\0') break;
    name += c;
  }
  return name;
}

int32_t CodePageFromLanguageName(const uint8_t* name, size_t length) {
  const size_t used = name == nullptr ? 0 : strnlen(reinterpret_cast<const char*>(name), length);
  const std::string_view text(reinterpret_cast<const char*>(name), used);
  if (StartsWith(text, "DB")) {
    const std::string_view rest = text.substr(2);
    if (StartsWith(rest, "WIN")) return 1252;
    if (StartsWith(rest, "HEBREW")) return 1255;
    int32_t cp = Number(rest.substr(0, 3));
    if (rest.size() > 3 && rest[3] >= '0' && rest[3] <= '9') cp = cp * 10 + (rest[3] - '0');
    return cp;
  }
  if (StartsWith(text, "FOX")) {
    const std::string_view part = text.size() > 5 ? text.substr(5, 3) : std::string_view();
    return part == "WIN" ? 1252 : Number(part);
  }
  return 0;
}

uint8_t LangIdFromName(std::string_view name) {
  const bool fox = StartsWith(name, "FOX");
  auto part = [&](size_t from, size_t count) {
    return name.size() > from ? name.substr(from, count) : std::string_view();
  };
  const std::string_view key = fox ? part(3, 2) : part(5, 3);
  const std::string_view cpText = fox ? part(5, 3) : part(2, 3);
  int32_t cp;
  if (cpText == "WIN") {
    cp = 1252;
  } else if (cpText == "REW") {
    cp = 1255;
  } else {
    int64_t value = 0;
    if (!platform::TryStrToInt64(cpText, value) || value < INT32_MIN || value > INT32_MAX)
      throw platform::EConvertError("'" + std::string(cpText) + "' is not a valid integer value");
    cp = static_cast<int32_t>(value);
  }
  return Search(cp, PackSuffix(key), KeyColumn::Suffix, fox);
}

}  // namespace dbf
