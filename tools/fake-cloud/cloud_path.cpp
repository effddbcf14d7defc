#include "cloud_path.h"

#include <locale.h>
#include <wctype.h>

#include <memory>
#include <type_traits>

namespace fake_cloud {
namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes one UTF-8 sequence at text[pos], advancing pos; kInvalid for a bad one.
char32_t DecodeUtf8(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t code = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    code = lead & 0x07;
  } else {
    return kInvalid;
  }
  if (pos + extra > text.size()) return kInvalid;
  for (int i = 0; i < extra; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return kInvalid;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return kInvalid;
  }
  pos += extra;
  return code;
}

void EncodeUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A private UTF-8 locale, so lower-casing knows every script whatever the process's
// own locale is.
locale_t Utf8Locale() {
  struct Free {
    void operator()(locale_t l) const { freelocale(l); }
  };
  static const std::unique_ptr<std::remove_pointer_t<locale_t>, Free> locale(
      newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr));
  return locale.get();
}

}  // namespace

std::string PathLower(std::string_view text) {
  const locale_t utf8 = Utf8Locale();
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    const char32_t code = DecodeUtf8(text, pos);
    if (code == kInvalid) {
      out += text[start];
    } else if (code < 0x80) {
      out += static_cast<char>(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
    } else {
      const wint_t lower = utf8 != nullptr ? towlower_l(static_cast<wint_t>(code), utf8) : code;
      EncodeUtf8(static_cast<char32_t>(lower), out);
    }
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (DecodeUtf8(text, pos) == kInvalid) return false;
  }
  return true;
}

std::optional<std::vector<std::string>> SplitCloudPath(std::string_view path) {
  std::vector<std::string> parts;
  if (path.empty()) return parts;
  if (path.front() != '/') return std::nullopt;
  for (size_t pos = 0; pos < path.size(); ++pos) {
    if (static_cast<unsigned char>(path[pos]) < 0x20 || path[pos] == 0x7F) return std::nullopt;
  }
  if (!IsUtf8(path)) return std::nullopt;
  size_t start = 1;
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string_view part = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return std::nullopt;
    parts.emplace_back(part);
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (PathLower(parts.front()) == kStateFolderName) return std::nullopt;
  return parts;
}

std::string NumberedName(std::string_view name, int n, bool is_file) {
  const std::string number = " (" + std::to_string(n) + ")";
  const size_t dot = name.rfind('.');
  if (!is_file || dot == std::string_view::npos || dot == 0) return std::string(name) + number;
  return std::string(name.substr(0, dot)) + number + std::string(name.substr(dot));
}

}  // namespace fake_cloud
