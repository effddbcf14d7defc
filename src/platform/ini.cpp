#include "platform/ini.h"

#include <cstdint>
#include <optional>

// What every platform's Ini shares: the numbers are read from the text, as Delphi's
// TIniFile reads them, whoever reads the text.
namespace platform {
namespace {

std::optional<int> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with('$')) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;

  // Hexadecimal spells the 32-bit pattern, so $FFFFFFFF is -1.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFu : negative ? 0x80000000u : 0x7FFFFFFFu;
  std::uint64_t value = 0;
  for (const char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  auto bits = static_cast<std::uint32_t>(value);
  if (negative) bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

}  // namespace

Ini::Ini(std::string path) : path_(std::move(path)) {}

int Ini::ReadInteger(std::string_view section, std::string_view key, int def) const {
  return ParseInteger(ReadString(section, key, "")).value_or(def);
}

bool Ini::ReadFlag(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

}  // namespace platform
