// The OS-free half of the code page helpers: UTF-8 validation, the case folding of names,
// and what the conversions from UTF-8 do with invalid input. The conversions themselves are
// per OS (posix/ and windows/code_page.cpp).

#include "platform/code_page.h"

#include "platform/os_primitives.h"

#include <cstddef>

namespace platform {
namespace {

struct Utf8Char {
  char32_t code_point;
  std::size_t length;  // bytes taken; for an invalid sequence, its maximal invalid subpart
  bool valid;
};

// Follows the well-formed byte sequences of the Unicode standard (no
// overlongs, no surrogates, nothing above U+10FFFF), so that a broken
// sequence is replaced the way other decoders replace it.
Utf8Char DecodeAt(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return {lead, 1, true};

  std::size_t length = 0;
  char32_t cp = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 1, false};
  }

  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= s.size()) return {0, k, false};
    const unsigned char b = byte(i + k);
    const unsigned char lo = k == 1 ? low : 0x80;
    const unsigned char hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) return {0, k, false};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, length, true};
}

char32_t FoldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c < 0x100 || c > 0x17F) return c;
  // Latin Extended-A pairs each capital with the small letter after it; the
  // pairs start on even code points, except between U+0139 and U+0148 and
  // after U+0178. The dotted and dotless i have no simple pair.
  if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
  if (c == 0x178) return 0xFF;
  const bool odd_pairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  const bool capital = odd_pairs ? (c % 2 == 1) : (c % 2 == 0);
  return capital ? c + 1 : c;
}

// One comparable unit: a folded character, or a raw byte kept apart from
// every character.
char32_t NextUnit(std::string_view s, std::size_t& i) {
  const Utf8Char ch = DecodeAt(s, i);
  if (!ch.valid) return 0x110000 + static_cast<unsigned char>(s[i++]);
  i += ch.length;
  return FoldCase(ch.code_point);
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char ch = DecodeAt(text, i);
    if (!ch.valid) return false;
    i += ch.length;
  }
  return true;
}

std::string ReplaceInvalidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char ch = DecodeAt(text, i);
    if (ch.valid)
      out.append(text.substr(i, ch.length));
    else
      out.append("\xEF\xBF\xBD");
    i += ch.length;
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (NextUnit(a, i) != NextUnit(b, j)) return false;
  }
  return i == a.size() && j == b.size();
}

std::u32string FoldedCodePoints(std::string_view text) {
  std::u32string folded;
  for (std::size_t i = 0; i < text.size();) folded.push_back(NextUnit(text, i));
  return folded;
}

std::string FromUtf8(std::string_view utf8, CodePage to) {
  bool exact = true;
  return os::EncodeValidUtf8(ReplaceInvalidUtf8(utf8), to, exact);
}

bool CanEncode(std::string_view utf8, CodePage to) {
  if (!IsValidUtf8(utf8)) return false;
  bool exact = true;
  os::EncodeValidUtf8(utf8, to, exact);
  return exact;
}

}  // namespace platform
