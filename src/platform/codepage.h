// Conversion between Windows code pages (and UTF-8) through ICU converters, and locale-aware
// comparison through ICU collators. Code pages are Windows numbers (1252, 850, 932, ...);
// converters and collators are opened once per thread and kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when a converter for the Windows code page exists (620 and 895 have none).
bool CodePageAvailable(int codePage);
// Every Windows code page CodePageAvailable accepts, ascending.
const std::vector<int>& InstalledCodePages();

// Converts `length` bytes from one code page to another into `dest`, which holds `capacity`
// bytes (it may be `src` itself). Writes whole characters only: a character that does not fit
// is left out with everything after it. Characters the target lacks become its substitute
// ("?"). Returns the number of bytes written. Unknown code pages copy the bytes unchanged.
size_t ConvertCodePage(int fromCodePage, int toCodePage, const char* src, size_t length, char* dest,
                       size_t capacity);

std::string ToUtf8(int codePage, std::string_view text);
std::string FromUtf8(int codePage, std::string_view text);
// Appends the UTF-8 form of `text` to `out` without other allocation once `out` has grown.
void AppendUtf8(int codePage, std::string_view text, std::string& out);
// Writes the UTF-8 form of `text` to `out`, which holds at least kUtf8Growth * text.size()
// bytes, and returns the length written.
constexpr size_t kUtf8Growth = 3;
size_t ToUtf8Buf(int codePage, std::string_view text, char* out);

// Comparison flags: NORM_IGNORECASE makes case differences equal.
constexpr uint32_t NORM_IGNORECASE = 1;
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// Compares two texts held in `codePage` by the collation of the Windows locale id, at tertiary
// strength (case, accents and width count) unless NORM_IGNORECASE is given. Returns
// CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN, or 0 when the locale has no collation.
int CompareStringA(uint32_t lcid, uint32_t flags, int codePage, std::string_view a,
                   std::string_view b);

// True when the Windows locale id maps to a locale with its own collation data.
bool LocaleInstalled(uint32_t lcid);

}  // namespace platform
