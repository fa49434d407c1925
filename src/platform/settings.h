// The process-wide locale settings the engine formats and converts with: the ANSI and OEM code
// pages, the user's locale id, the decimal separator and the date and time patterns. Derived
// once from the process locale (LC_ALL, LC_CTYPE, LANG) the way Windows maps its regions;
// tests and callers replace them with SetSettings and never depend on the machine's locale.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct TPlatformSettings {
  int AnsiCodePage = 1252;
  int OemCodePage = 437;
  uint32_t UserLCID = 0x0409;
  char DecimalSeparator = '.';
  // Patterns in ICU letters: y M d for the date, H h m s a for the time; 'quoted' literals.
  std::string ShortDateFormat = "M/d/yyyy";
  std::string LongTimeFormat = "h:mm:ss a";
};

// The settings in force; derived from the process locale on first use.
const TPlatformSettings& Settings();
void SetSettings(const TPlatformSettings& settings);

// The settings a POSIX locale name ("de_DE.UTF-8", "C", "ru_RU") stands for.
TPlatformSettings SettingsForLocale(const std::string& localeName);

// The ANSI code page of a Windows locale id (LOCALE_IDEFAULTANSICODEPAGE); 0 when unknown.
int AnsiCodePageOfLCID(uint32_t lcid);

// The locale name of the process: LC_ALL, else LC_CTYPE, else LANG, else "C".
std::string ProcessLocaleName();

}  // namespace platform
