#include "platform/settings.h"

#include <unicode/udat.h>
#include <unicode/uloc.h>
#include <unicode/unum.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace platform {
namespace {

struct CodePages {
  const char* language;
  const char* region;  // nullptr: any region of the language
  int ansi;
  int oem;
};

// Windows' ANSI and OEM code pages by language (and region where they differ).
constexpr CodePages kCodePages[] = {
    {"en", "US", 1252, 437},    {"en", nullptr, 1252, 850}, {"de", nullptr, 1252, 850},
    {"fr", "CA", 1252, 863},    {"fr", nullptr, 1252, 850}, {"es", nullptr, 1252, 850},
    {"it", nullptr, 1252, 850}, {"nl", nullptr, 1252, 850}, {"pt", "BR", 1252, 850},
    {"pt", nullptr, 1252, 860}, {"da", nullptr, 1252, 865}, {"nb", nullptr, 1252, 865},
    {"nn", nullptr, 1252, 865}, {"no", nullptr, 1252, 865}, {"sv", nullptr, 1252, 850},
    {"fi", nullptr, 1252, 850}, {"is", nullptr, 1252, 850}, {"ca", nullptr, 1252, 850},
    {"eu", nullptr, 1252, 850}, {"gl", nullptr, 1252, 850}, {"af", nullptr, 1252, 850},
    {"id", nullptr, 1252, 850}, {"ms", nullptr, 1252, 850}, {"sw", nullptr, 1252, 437},
    {"cs", nullptr, 1250, 852}, {"hu", nullptr, 1250, 852}, {"pl", nullptr, 1250, 852},
    {"ro", nullptr, 1250, 852}, {"hr", nullptr, 1250, 852}, {"sk", nullptr, 1250, 852},
    {"sl", nullptr, 1250, 852}, {"sq", nullptr, 1250, 852}, {"bs", nullptr, 1250, 852},
    {"ru", nullptr, 1251, 866}, {"uk", nullptr, 1251, 866}, {"be", nullptr, 1251, 866},
    {"bg", nullptr, 1251, 866}, {"mk", nullptr, 1251, 866}, {"sr", nullptr, 1251, 855},
    {"kk", nullptr, 1251, 866}, {"el", nullptr, 1253, 737}, {"tr", nullptr, 1254, 857},
    {"az", nullptr, 1254, 857}, {"he", nullptr, 1255, 862}, {"ar", nullptr, 1256, 720},
    {"fa", nullptr, 1256, 720}, {"ur", nullptr, 1256, 720}, {"et", nullptr, 1257, 775},
    {"lv", nullptr, 1257, 775}, {"lt", nullptr, 1257, 775}, {"vi", nullptr, 1258, 1258},
    {"th", nullptr, 874, 874},  {"ja", nullptr, 932, 932},  {"zh", "TW", 950, 950},
    {"zh", "HK", 950, 950},     {"zh", nullptr, 936, 936},  {"ko", nullptr, 949, 949},
};

const CodePages* FindCodePages(const std::string& language, const std::string& region) {
  for (const auto& entry : kCodePages) {
    if (language != entry.language) continue;
    if (entry.region == nullptr || region == entry.region) return &entry;
  }
  return nullptr;
}

// "de_DE.UTF-8@euro" -> language "de", region "DE"; "C" and "POSIX" stand for en_US.
void SplitLocale(const std::string& name, std::string& language, std::string& region) {
  std::string base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") base = "en_US";
  const auto sep = base.find_first_of("_-");
  language = base.substr(0, sep);
  region = sep == std::string::npos ? std::string() : base.substr(sep + 1);
}

std::string ToUtf8(const UChar* text, int32_t length) {
  std::string out;
  for (int32_t i = 0; i < length; ++i) {
    const UChar c = text[i];
    if (c == 0x202F || c == 0x00A0) {
      out += ' ';  // ICU's narrow and no-break spaces read as a plain blank
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> IcuPattern(const char* locale, UDateFormatStyle time,
                                      UDateFormatStyle date) {
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat* format = udat_open(time, date, locale, nullptr, 0, nullptr, 0, &status);
  if (U_FAILURE(status)) return std::nullopt;
  UChar buffer[128];
  const int32_t length = udat_toPattern(format, false, buffer, 128, &status);
  udat_close(format);
  if (U_FAILURE(status) || length >= 128) return std::nullopt;
  return ToUtf8(buffer, length);
}

// Widens every year field shorter than four letters ("yy" -> "yyyy"), outside quotes.
std::string WidenYear(const std::string& pattern) {
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == 'y') {
      size_t run = 0;
      while (i < pattern.size() && pattern[i] == 'y') ++run, ++i;
      out.append(run < 4 ? 4 : run, 'y');
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

char IcuDecimalSeparator(const char* locale) {
  UErrorCode status = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, locale, nullptr, &status);
  if (U_FAILURE(status)) return '.';
  UChar symbol[8];
  const int32_t length = unum_getSymbol(format, UNUM_DECIMAL_SEPARATOR_SYMBOL, symbol, 8, &status);
  unum_close(format);
  if (U_FAILURE(status) || length != 1 || symbol[0] >= 0x80) return '.';
  return static_cast<char>(symbol[0]);
}

TPlatformSettings& Current() {
  static TPlatformSettings settings = SettingsForLocale(ProcessLocaleName());
  return settings;
}

}  // namespace

std::string ProcessLocaleName() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

TPlatformSettings SettingsForLocale(const std::string& localeName) {
  std::string language, region;
  SplitLocale(localeName, language, region);
  const std::string icuLocale = region.empty() ? language : language + "_" + region;

  TPlatformSettings settings;
  if (const CodePages* pages = FindCodePages(language, region)) {
    settings.AnsiCodePage = pages->ansi;
    settings.OemCodePage = pages->oem;
  }
  const uint32_t lcid = uloc_getLCID(icuLocale.c_str());
  if (lcid != 0) settings.UserLCID = lcid;
  settings.DecimalSeparator = IcuDecimalSeparator(icuLocale.c_str());
  if (auto date = IcuPattern(icuLocale.c_str(), UDAT_NONE, UDAT_SHORT))
    settings.ShortDateFormat = WidenYear(*date);
  if (auto time = IcuPattern(icuLocale.c_str(), UDAT_MEDIUM, UDAT_NONE))
    settings.LongTimeFormat = *time;
  return settings;
}

int AnsiCodePageOfLCID(uint32_t lcid) {
  char locale[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(lcid, locale, sizeof locale, &status);
  if (U_FAILURE(status) || length <= 0) return 0;
  char language[ULOC_LANG_CAPACITY] = {};
  char country[ULOC_COUNTRY_CAPACITY] = {};
  uloc_getLanguage(locale, language, sizeof language, &status);
  uloc_getCountry(locale, country, sizeof country, &status);
  if (U_FAILURE(status)) return 0;
  const CodePages* pages = FindCodePages(language, country);
  return pages != nullptr ? pages->ansi : 0;
}

const TPlatformSettings& Settings() {
  return Current();
}

void SetSettings(const TPlatformSettings& settings) {
  Current() = settings;
}

}  // namespace platform
