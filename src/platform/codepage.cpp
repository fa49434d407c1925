#include "platform/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>

#include "platform/word_scan.h"

namespace platform {
namespace {

struct CodePageName {
  int codePage;
  const char* icuName;
};

// Windows code pages and the ICU converter that matches each. No naming pattern fits all:
// the cp9xx and ibm-125x aliases open other, older tables. 620 (Mazovia), 867 and 895
// (Kamenicky) and 868 have no matching converter and count as not installed.
constexpr CodePageName kCodePageNames[] = {
    {437, "ibm-437"},
    {720, "ibm-720"},
    {737, "ibm-737"},
    {775, "ibm-775"},
    {850, "ibm-850"},
    {852, "ibm-852"},
    {855, "ibm-855"},
    {857, "ibm-857"},
    {858, "ibm-858"},
    {860, "ibm-860"},
    {861, "ibm-861"},
    {862, "ibm-862"},
    {863, "ibm-863"},
    {864, "ibm-864"},
    {865, "ibm-865"},
    {866, "ibm-866"},
    {869, "ibm-869"},
    {874, "windows-874"},
    {932, "windows-932"},
    {936, "windows-936"},
    {949, "windows-949"},
    {950, "windows-950"},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {1252, "windows-1252"},
    {1253, "windows-1253"},
    {1254, "windows-1254"},
    {1255, "windows-1255"},
    {1256, "windows-1256"},
    {1257, "windows-1257"},
    {1258, "windows-1258"},
    {10000, "macintosh"},
    {10006, "x-mac-greek"},
    {10007, "x-mac-cyrillic"},
    {10029, "x-mac-centraleurroman"},
    {65001, "UTF-8"},
};

const char* IcuName(int codePage) {
  for (const auto& entry : kCodePageNames)
    if (entry.codePage == codePage) return entry.icuName;
  return nullptr;
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// A converter per code page and thread, plus the byte tables of single-byte code pages.
struct CodePageState {
  std::unique_ptr<UConverter, ConverterCloser> converter;
  bool singleByte = false;
  std::array<UChar, 256> toUnicode{};             // single-byte code pages only
  std::array<std::array<char, 4>, 256> toUtf8{};  // [0] holds the length
};

void BuildSingleByteTables(CodePageState& state) {
  for (int byte = 0; byte < 256; ++byte) {
    const char in = static_cast<char>(byte);
    UChar out[2] = {0xFFFD, 0};
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(state.converter.get());
    const int32_t n = ucnv_toUChars(state.converter.get(), out, 2, &in, 1, &status);
    const UChar unit = (U_SUCCESS(status) && n == 1) ? out[0] : UChar(0xFFFD);
    state.toUnicode[byte] = unit;
    auto& utf8 = state.toUtf8[byte];
    if (unit < 0x80) {
      utf8 = {1, static_cast<char>(unit)};
    } else if (unit < 0x800) {
      utf8 = {2, static_cast<char>(0xC0 | (unit >> 6)), static_cast<char>(0x80 | (unit & 0x3F))};
    } else {
      utf8 = {3, static_cast<char>(0xE0 | (unit >> 12)),
              static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
              static_cast<char>(0x80 | (unit & 0x3F))};
    }
  }
  ucnv_reset(state.converter.get());
}

CodePageState* State(int codePage) {
  thread_local std::map<int, std::unique_ptr<CodePageState>> states;
  // Callers convert many texts of one code page in a row.
  thread_local int lastCodePage = -1;
  thread_local CodePageState* lastState = nullptr;
  if (codePage == lastCodePage) return lastState;
  auto it = states.find(codePage);
  if (it != states.end()) {
    lastCodePage = codePage;
    lastState = it->second.get();
    return lastState;
  }
  std::unique_ptr<CodePageState> state;
  if (const char* name = IcuName(codePage)) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    if (U_SUCCESS(status) && converter != nullptr) {
      state = std::make_unique<CodePageState>();
      state->converter.reset(converter);
      // Windows puts '?' for what a code page lacks; ICU would put its SUB control byte.
      ucnv_setSubstChars(converter, "?", 1, &status);
      state->singleByte = ucnv_getMaxCharSize(converter) == 1;
      if (state->singleByte) BuildSingleByteTables(*state);
    } else if (converter != nullptr) {
      ucnv_close(converter);
    }
  }
  CodePageState* result = state.get();
  states.emplace(codePage, std::move(state));
  return result;
}

// The UTF-16 form of `text`, in a buffer reused by the thread.
std::u16string_view ToUnicode(CodePageState& state, const char* text, size_t length,
                              std::u16string& buffer) {
  buffer.resize(length * 2 + 2);
  if (state.singleByte) {
    for (size_t i = 0; i < length; ++i) buffer[i] = state.toUnicode[static_cast<uint8_t>(text[i])];
    return std::u16string_view(buffer.data(), length);
  }
  UErrorCode status = U_ZERO_ERROR;
  ucnv_reset(state.converter.get());
  const int32_t n = ucnv_toUChars(state.converter.get(), reinterpret_cast<UChar*>(buffer.data()),
                                  static_cast<int32_t>(buffer.size()), text,
                                  static_cast<int32_t>(length), &status);
  if (U_FAILURE(status)) return {};
  return std::u16string_view(buffer.data(), static_cast<size_t>(n));
}

}  // namespace

bool CodePageAvailable(int codePage) {
  return State(codePage) != nullptr;
}

const std::vector<int>& InstalledCodePages() {
  static const std::vector<int> pages = [] {
    std::vector<int> result;
    for (const auto& entry : kCodePageNames)
      if (CodePageAvailable(entry.codePage)) result.push_back(entry.codePage);
    std::sort(result.begin(), result.end());
    return result;
  }();
  return pages;
}

size_t ConvertCodePage(int fromCodePage, int toCodePage, const char* src, size_t length, char* dest,
                       size_t capacity) {
  CodePageState* from = State(fromCodePage);
  CodePageState* to = State(toCodePage);
  if (fromCodePage == toCodePage || from == nullptr || to == nullptr) {
    const size_t n = std::min(length, capacity);
    if (dest != src) std::memmove(dest, src, n);
    return n;
  }
  thread_local std::u16string unicode;
  const std::u16string_view wide = ToUnicode(*from, src, length, unicode);

  thread_local std::string bytes;
  thread_local std::vector<int32_t> offsets;
  bytes.resize(wide.size() * 4 + 4);
  offsets.resize(bytes.size());
  UConverter* converter = to->converter.get();
  ucnv_reset(converter);
  char* target = bytes.data();
  const UChar* source = reinterpret_cast<const UChar*>(wide.data());
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(converter, &target, bytes.data() + bytes.size(), &source, source + wide.size(),
                   offsets.data(), true, &status);
  if (U_FAILURE(status)) return 0;
  const size_t total = static_cast<size_t>(target - bytes.data());
  // Cut only between characters: a byte that belongs to the same source unit as the byte
  // before it continues a character.
  size_t cut = std::min(total, capacity);
  while (cut > 0 && cut < total && offsets[cut] == offsets[cut - 1]) --cut;
  std::memcpy(dest, bytes.data(), cut);
  return cut;
}

size_t ToUtf8Buf(int codePage, std::string_view text, char* out) {
  CodePageState* state = State(codePage);
  if (state == nullptr) {
    state = State(1252);
  }
  char* const start = out;
  if (state->singleByte) {
    // Every code page here keeps ASCII as it is, eight bytes at a time where it can; the rest
    // come from the table (at most three bytes each: a single-byte page lies in the basic
    // plane).
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
      while (end - p >= 8 && IsAscii(LoadWord(p))) {
        std::memcpy(out, p, 8);
        out += 8;
        p += 8;
      }
      if (p == end) break;
      const auto byte = static_cast<uint8_t>(*p++);
      if (byte < 0x80) {
        *out++ = static_cast<char>(byte);
      } else {
        const auto& utf8 = state->toUtf8[byte];
        std::memcpy(out, utf8.data() + 1, 3);
        out += utf8[0];
      }
    }
    return static_cast<size_t>(out - start);
  }
  // A byte makes at most one UTF-16 unit, and a unit at most three UTF-8 bytes (a surrogate
  // pair, two units, makes four).
  thread_local std::u16string unicode;
  const std::u16string_view wide = ToUnicode(*state, text.data(), text.size(), unicode);
  int32_t written = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out, static_cast<int32_t>(text.size() * kUtf8Growth), &written,
                     reinterpret_cast<const UChar*>(wide.data()), static_cast<int32_t>(wide.size()),
                     0xFFFD, nullptr, &status);
  return U_SUCCESS(status) ? static_cast<size_t>(written) : 0;
}

void AppendUtf8(int codePage, std::string_view text, std::string& out) {
  const size_t start = out.size();
  out.resize(start + text.size() * kUtf8Growth);
  out.resize(start + ToUtf8Buf(codePage, text, out.data() + start));
}

std::string ToUtf8(int codePage, std::string_view text) {
  std::string out;
  AppendUtf8(codePage, text, out);
  return out;
}

std::string FromUtf8(int codePage, std::string_view text) {
  std::string out(text.size() * 2 + 4, '\0');
  const size_t n =
      ConvertCodePage(65001, codePage, text.data(), text.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

int CompareStringA(uint32_t lcid, uint32_t flags, int codePage, std::string_view a,
                   std::string_view b) {
  using Key = std::pair<uint32_t, uint32_t>;
  thread_local std::map<Key, std::unique_ptr<UCollator, CollatorCloser>> collators;
  auto it = collators.find({lcid, flags});
  if (it == collators.end()) {
    std::unique_ptr<UCollator, CollatorCloser> collator;
    char locale[ULOC_FULLNAME_CAPACITY];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_getLocaleForLCID(lcid, locale, sizeof locale, &status);
    if (U_SUCCESS(status) && length > 0) {
      UCollator* opened = ucol_open(locale, &status);
      if (U_SUCCESS(status) && opened != nullptr) {
        ucol_setStrength(opened, (flags & NORM_IGNORECASE) ? UCOL_SECONDARY : UCOL_TERTIARY);
        collator.reset(opened);
      } else if (opened != nullptr) {
        ucol_close(opened);
      }
    }
    it = collators.emplace(Key{lcid, flags}, std::move(collator)).first;
  }
  if (!it->second) return 0;
  CodePageState* state = State(codePage);
  if (state == nullptr) state = State(1252);
  thread_local std::u16string left, right;
  const std::u16string_view wideA = ToUnicode(*state, a.data(), a.size(), left);
  const std::u16string_view wideB = ToUnicode(*state, b.data(), b.size(), right);
  const UCollationResult result =
      ucol_strcoll(it->second.get(), reinterpret_cast<const UChar*>(wideA.data()),
                   static_cast<int32_t>(wideA.size()), reinterpret_cast<const UChar*>(wideB.data()),
                   static_cast<int32_t>(wideB.size()));
  return result == UCOL_LESS    ? CSTR_LESS_THAN
         : result == UCOL_EQUAL ? CSTR_EQUAL
                                : CSTR_GREATER_THAN;
}

bool LocaleInstalled(uint32_t lcid) {
  char locale[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(lcid, locale, sizeof locale, &status);
  return U_SUCCESS(status) && length > 0;
}

}  // namespace platform
