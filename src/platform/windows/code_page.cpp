// Code page conversions on the system's own converters, which the data was made for.

#include "platform/code_page.h"
#include "platform/os_primitives.h"

#include <stdexcept>

#include "platform/windows/wide.h"

namespace platform {
namespace {

UINT WindowsCodePage(CodePage page) {
  switch (page) {
    case CodePage::Windows1252: return 1252;
    case CodePage::Iso8859_1: return 28591;
    case CodePage::Cp850: return 850;
    case CodePage::Ansi: return ::GetACP();
    case CodePage::Utf16LE:
    case CodePage::Utf16BE: break;
  }
  throw std::invalid_argument("Unknown code page");
}

bool IsUtf16(CodePage page) { return page == CodePage::Utf16LE || page == CodePage::Utf16BE; }

std::string Utf16Bytes(std::wstring_view text, bool big_endian) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const wchar_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>((unit >> 8) & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

// Unpaired surrogates become U+FFFD, as they do through the other code pages.
std::wstring WithoutLoneSurrogates(std::wstring text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      text[i] = 0xFFFD;
    }
  }
  return text;
}

}  // namespace

namespace os {

std::string EncodeValidUtf8(std::string_view utf8, CodePage to, bool& exact) {
  const std::wstring wide = windows::Widen(utf8);
  if (IsUtf16(to)) return Utf16Bytes(wide, to == CodePage::Utf16BE);
  if (wide.empty()) return {};
  // one '?' for a character outside the BMP, as for any other the page lacks
  std::wstring units;
  units.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] <= 0xDFFF;
    units += pair ? L'\xFFFD' : wide[i];
    if (pair) ++i;
  }
  // no best-fit mapping: a character the page lacks is '?', never a look-alike
  const UINT page = WindowsCodePage(to);
  const int size = static_cast<int>(units.size());
  BOOL replaced = FALSE;
  const int length = ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, units.data(), size, nullptr, 0, "?", &replaced);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, units.data(), size, out.data(), length, "?", &replaced);
  if (replaced) exact = false;
  return out;
}

}  // namespace os

std::string ToUtf8(std::string_view bytes, CodePage from) {
  if (IsUtf16(from)) {
    std::wstring wide;
    wide.reserve(bytes.size() / 2 + 1);
    const bool big_endian = from == CodePage::Utf16BE;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
      wide += static_cast<wchar_t>(big_endian ? (first << 8) | second : (second << 8) | first);
    }
    std::string out = windows::Narrow(WithoutLoneSurrogates(std::move(wide)));
    if (bytes.size() % 2 != 0) out += "\xEF\xBF\xBD";  // an odd trailing byte
    return out;
  }
  if (bytes.empty()) return {};
  const UINT page = WindowsCodePage(from);
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(page, 0, bytes.data(), size, wide.data(), length);
  return windows::Narrow(wide);
}

// The Firebird client for Windows takes names in the ANSI code page unless they are flagged
// as UTF-8, which the connection and the backup request do; there is no thread code set.
Utf8CodeSetScope::Utf8CodeSetScope() = default;
Utf8CodeSetScope::~Utf8CodeSetScope() = default;

}  // namespace platform
