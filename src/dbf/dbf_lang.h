// The language-driver table: for each of the 256 values of a table header's language byte,
// the code page, the Windows locale id and the name suffix of the driver, and the lookups in
// both directions used when a table is opened or created and when an index needs the
// table's language. Pure functions over a constant table; no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbf {

struct TLangDriver {
  int32_t CodePage;  // 0: none
  uint32_t Locale;   // Windows LCID; 0: none
  uint32_t Suffix;   // up to three ASCII letters, first in the lowest byte; or a marker below
  bool FoxStyle;     // byte of the FoxPro family (matters when choosing a byte for a new table)
};

// Suffix markers: entry 0x00 names nothing, entry 0x8E stands for the whole name "BGDB868".
constexpr uint32_t kLangNoName = 0xFFFFFFFFu;
constexpr uint32_t kLangWholeName = 0xFFFFFFFEu;

const TLangDriver& LangDriver(uint8_t langId);

// The code page a language byte stands for; 0 when it names none.
inline int32_t CodePageOfLangId(uint8_t langId) {
  return LangDriver(langId).CodePage;
}

// The language byte for a new table of code page `cp` in `locale` (upper 16 bits ignored);
// `fox` prefers FoxPro-style bytes. 0 when nothing fits.
uint8_t LangIdFromCodePage(int32_t cp, uint32_t locale, bool fox);

// The dBASE 7 language-driver name for a new table ("DBWINDE", "DB850US0", ...).
std::string LanguageDriverName(int32_t cp, uint32_t locale);

// The code page a dBASE 7 language-driver name stands for (the header's 32 name bytes, zero
// padded; `length` bytes are valid). 0 when it names none.
int32_t CodePageFromLanguageName(const uint8_t* name, size_t length);

// The language byte a dBASE 7 name corresponds to. Throws platform::EConvertError when the
// name's code-page part is neither "WIN", "REW" nor a number.
uint8_t LangIdFromName(std::string_view name);

}  // namespace dbf
