// Helpers shared by the table files: the process-wide settings object DbfGlobals (default code
// pages, installed code pages, computer name), text translation between code pages, file-name
// helpers and MemScan. DbfGlobals is built on first use from the platform settings in force
// and is read-only afterwards (tests may rebuild it with ResetDbfGlobals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dbf {

class TDbfGlobals {
 public:
  TDbfGlobals();
  bool CodePageInstalled(int32_t cp) const;
  const std::string& ComputerName() const { return FComputerName; }
  int32_t DefaultOpenCodePage() const { return FDefaultOpenCodePage; }
  int32_t DefaultCreateCodePage() const { return FDefaultCreateCodePage; }
  uint32_t DefaultCreateLocale() const { return FDefaultCreateLocale; }

 private:
  std::vector<int32_t> FCodePages;
  int32_t FDefaultOpenCodePage;
  int32_t FDefaultCreateCodePage;
  uint32_t FDefaultCreateLocale;
  std::string FComputerName;  // at most 260 characters
};

const TDbfGlobals& DbfGlobals();
// Rebuilds DbfGlobals from the current platform settings (after platform::SetSettings).
void ResetDbfGlobals();

// Converts `length` bytes (-1: up to the first zero byte) from one code page to another into
// `dest`, which may be `src` and holds at least `length` bytes. Whole characters only: the
// result never exceeds `length` bytes and never ends in half a character. Returns the number
// of bytes written (equal to `length` when the code pages are equal).
int32_t TranslateString(int32_t fromCP, int32_t toCP, const char* src, int32_t length, char* dest);

// True for "X:..." drive paths, "\\..." network paths and absolute "/..." paths.
bool IsFullFilePath(const std::string& path);
// A full path ending in '/': `path` taken as it is when full, else joined to `base` (or to the
// current folder when `base` is empty) and made absolute.
std::string GetCompletePath(const std::string& base, const std::string& path);
std::string GetCompleteFileName(const std::string& base, const std::string& fileName);

// Position of the first `value` among the first `length` bytes, or -1.
int32_t MemScan(const void* buffer, uint8_t value, int32_t length);

// Number texts for the fixed-width fields of records and keys. None writes a terminator.
// Exactly `width` characters: "-" for a negative value, zeros, then the digits of the absolute
// value; when they do not fit, only the lowest-order digits that fit. Callers that must not
// lose digits check NumberFitsWidth first.
void IntToStrWidth(int32_t value, int32_t width, char* dest);
void Int64ToStrWidth(int32_t width, char* dest, int64_t value);
// Whether IntToStrWidth / Int64ToStrWidth can write `value` in `width` without dropping digits.
bool IntegerFitsWidth(int64_t value, int32_t width);
// `value` rounded to `decimals` places in fixed notation with a period, right-aligned in
// `width` characters with leading blanks. Returns false, writing nothing, when the text is
// longer than `width` (or the value is not finite).
bool FloatToField(int32_t width, int32_t decimals, char* dest, double value);
// The digits of the absolute value, no sign, no leading zeros; returns their count.
int32_t IntToStrBuf(int32_t value, char* dest);
int32_t Int64ToStrBuf(int64_t value, char* dest);

}  // namespace dbf
