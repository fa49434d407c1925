#include "cli/value_text.h"

#include <charconv>

#include "cli/commands.h"

namespace cli {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool ParseNumber(std::string_view text, int& value) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n =
        (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(n >> shift) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t n = uint8_t(bytes[i]) << 16;
    if (rest == 2) n |= uint8_t(bytes[i + 1]) << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
  std::string out;
  uint32_t buffer = 0;
  int bits = 0, padding = 0, symbols = 0;
  for (const char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    ++symbols;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = Base64Value(c);
    if (value < 0 || padding > 0) return false;
    buffer = (buffer << 6) | uint32_t(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  if (symbols % 4 != 0 || padding > 2) return false;
  bytes = std::move(out);
  return true;
}

std::optional<TIsoDateTime> ParseIsoDateTime(std::string_view text, bool withTime) {
  TIsoDateTime result;
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (!ParseNumber(text.substr(0, 4), result.Year) ||
      !ParseNumber(text.substr(5, 2), result.Month) || !ParseNumber(text.substr(8, 2), result.Day))
    return std::nullopt;
  if (text.size() > 10) {
    if (!withTime || text.size() != 19 || text[10] != 'T' || text[13] != ':' || text[16] != ':')
      return std::nullopt;
    if (!ParseNumber(text.substr(11, 2), result.Hour) ||
        !ParseNumber(text.substr(14, 2), result.Minute) ||
        !ParseNumber(text.substr(17, 2), result.Second))
      return std::nullopt;
  }
  if (result.Year < 1 || result.Month < 1 || result.Month > 12 || result.Day < 1 ||
      result.Day > 31 || result.Hour > 23 || result.Minute > 59 || result.Second > 59)
    return std::nullopt;
  return result;
}

TFieldSpec ParseFieldSpec(const std::string& text) {
  auto fail = [&](const std::string& why) -> TFieldSpec {
    throw UsageError("bad field definition \"" + text + "\": " + why);
  };
  std::string parts[5];
  int count = 0;
  for (size_t start = 0;; ++count) {
    const size_t colon = text.find(':', start);
    if (count == 4) return fail("expected NAME:TYPE[:LENGTH[:DECIMALS]]");
    parts[count] = text.substr(start, colon == std::string::npos ? colon : colon - start);
    if (colon == std::string::npos) {
      ++count;
      break;
    }
    start = colon + 1;
  }
  if (count < 2) return fail("expected NAME:TYPE[:LENGTH[:DECIMALS]]");
  TFieldSpec definition;
  definition.Name = parts[0];
  if (definition.Name.empty()) return fail("the name is empty");
  if (parts[1].size() != 1) return fail("the type is one letter or sign");
  definition.Type =
      static_cast<char>(parts[1][0] >= 'a' && parts[1][0] <= 'z' ? parts[1][0] - 32 : parts[1][0]);
  if (count > 2 && !ParseNumber(parts[2], definition.Length))
    return fail("the length is not a number");
  if (count > 3 && !ParseNumber(parts[3], definition.Decimals))
    return fail("the decimals are not a number");
  return definition;
}

}  // namespace cli
