#include "platform/ini.h"

#include <fstream>
#include <iterator>
#include <optional>

#include "platform/code_page.h"
#include "platform/file_search.h"

// Our reader, with the semantics of GetPrivateProfileStringW.
namespace platform {
namespace {

// GetPrivateProfileString fills a buffer of 2048 UTF-16 units, one of them the terminator.
constexpr std::size_t kMaxValueUnits = 2047;

constexpr std::string_view kBlanks = " \t\v\f";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return std::nullopt;
  return bytes;
}

// The management program may have saved the file as Unicode (with a BOM) or
// in the ANSI code page; UTF-8 without a BOM is told apart by being valid.
std::string DecodeText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return ReplaceInvalidUtf8(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return ToUtf8(bytes.substr(2), CodePage::Utf16LE);
  if (bytes.starts_with("\xFE\xFF")) return ToUtf8(bytes.substr(2), CodePage::Utf16BE);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return ToUtf8(bytes, CodePage::Windows1252);
}

// Only the first section of the name is searched, and in it the first key of
// the name, as Windows does with duplicates.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool in_section = false;
  while (!text.empty()) {
    const auto end = text.find_first_of("\r\n");
    const std::string_view line = Trim(text.substr(0, end));
    if (end == std::string_view::npos) {
      text = {};
    } else {
      const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
      text.remove_prefix(end + (crlf ? 2 : 1));
    }

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (in_section) return std::nullopt;
      const std::string_view name = line.substr(1, line.find(']') - 1);
      in_section = EqualsNoCase(Trim(name), section);
      continue;
    }
    if (!in_section) continue;
    // A line without '=' holds no value: its key reads as missing.
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !EqualsNoCase(Trim(line.substr(0, equals)), key)) continue;
    return Trim(line.substr(equals + 1));
  }
  return std::nullopt;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// Counts as Windows does, in UTF-16 units; a character that would not fit
// whole is left out rather than split. `text` is valid UTF-8.
std::string_view CutToBuffer(std::string_view text) {
  std::size_t units = 0, i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::size_t needed = length == 4 ? 2 : 1;
    if (units + needed > kMaxValueUnits) break;
    units += needed;
    i += length;
  }
  return text.substr(0, i);
}

}  // namespace

std::string Ini::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  const auto slash = path_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  if (const auto bytes = ReadFileBytes(FindFileNoCase(folder, name))) {
    const std::string text = DecodeText(*bytes);
    if (const auto value = FindValue(text, section, key)) return std::string(CutToBuffer(StripQuotes(*value)));
  }
  // Windows drops a default's trailing blanks.
  const auto last = def.find_last_not_of(' ');
  return std::string(CutToBuffer(def.substr(0, last == std::string_view::npos ? 0 : last + 1)));
}

}  // namespace platform
