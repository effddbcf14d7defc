#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::CodePage;
using namespace std::string_literals;

std::string Bytes(std::initializer_list<unsigned char> list) { return std::string(list.begin(), list.end()); }

const std::string kReplacementLE = Bytes({0xFD, 0xFF});
const std::string kReplacement = "\xEF\xBF\xBD";

struct RoundTripCase {
  const char* why;
  std::string utf8;
  CodePage page;
  std::string bytes;
};

TEST(CodePage, RoundTripsExactly) {
  const RoundTripCase cases[] = {
      {"an empty text stays empty", "", CodePage::Cp850, ""},
      {"ASCII is the same in a single-byte code page", "Backup 01/02", CodePage::Windows1252, "Backup 01/02"},
      {"ã is 0xE3 in Windows-1252", "ã", CodePage::Windows1252, "\xE3"},
      {"ã is 0xE3 in ISO 8859-1", "ã", CodePage::Iso8859_1, "\xE3"},
      {"ã is 0xC6 in code page 850", "ã", CodePage::Cp850, "\xC6"},
      {"Ç is 0x80 in code page 850", "AÇÃO", CodePage::Cp850, "A\x80\xC7O"},
      {"€ is 0x80 in Windows-1252", "€", CodePage::Windows1252, "\x80"},
      {"ÿ is the last byte of ISO 8859-1", "ÿ", CodePage::Iso8859_1, "\xFF"},
      {"the undefined bytes of Windows-1252 are C1 controls",
       "\u0081\u008D\u008F\u0090\u009D", CodePage::Windows1252, "\x81\x8D\x8F\x90\x9D"},
      {"UTF-16 LE puts the low byte first, without a BOM", "ção", CodePage::Utf16LE,
       Bytes({0xE7, 0x00, 0xE3, 0x00, 0x6F, 0x00})},
      {"UTF-16 BE puts the high byte first, without a BOM", "ção", CodePage::Utf16BE,
       Bytes({0x00, 0xE7, 0x00, 0xE3, 0x00, 0x6F})},
      {"above the BMP is a surrogate pair in UTF-16 LE", "a😀", CodePage::Utf16LE,
       Bytes({0x61, 0x00, 0x3D, 0xD8, 0x00, 0xDE})},
      {"above the BMP is a surrogate pair in UTF-16 BE", "😀", CodePage::Utf16BE, Bytes({0xD8, 0x3D, 0xDE, 0x00})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::FromUtf8(c.utf8, c.page), c.bytes) << c.why;
    EXPECT_EQ(platform::ToUtf8(c.bytes, c.page), c.utf8) << c.why;
    EXPECT_TRUE(platform::CanEncode(c.utf8, c.page)) << c.why;
  }
}

struct LossyCase {
  const char* why;
  std::string utf8;
  CodePage page;
  std::string bytes;
};

TEST(CodePage, FromUtf8ReplacesWhatCannotBeHeld) {
  const LossyCase cases[] = {
      {"€ is not in ISO 8859-1", "a€b", CodePage::Iso8859_1, "a?b"},
      {"€ is not in code page 850", "€", CodePage::Cp850, "?"},
      {"no best fit: ā does not become a", "ā", CodePage::Windows1252, "?"},
      {"one ? per character, even above the BMP", "😀x😀", CodePage::Windows1252, "?x?"},
      {"an invalid byte becomes ?", "a\xFF" "b", CodePage::Windows1252, "a?b"},
      {"a truncated sequence is one ?", "ã\xE2\x82", CodePage::Iso8859_1, "\xE3?"},
      {"an overlong NUL is two invalid bytes", "\xC0\x80", CodePage::Cp850, "??"},
      {"U+FFFD itself has no place in Windows-1252", "\uFFFD", CodePage::Windows1252, "?"},
      {"invalid input becomes U+FFFD in UTF-16", "a\xFF", CodePage::Utf16LE, "a\0"s + kReplacementLE},
      {"a surrogate written in UTF-8 is invalid, byte by byte", "\xED\xA0\x80", CodePage::Utf16LE,
       kReplacementLE + kReplacementLE + kReplacementLE},
      {"nothing above U+10FFFF", "\xF4\x90\x80\x80", CodePage::Utf16LE,
       kReplacementLE + kReplacementLE + kReplacementLE + kReplacementLE},
      {"a truncated four-byte sequence is one U+FFFD", "\xF0\x9F\x98", CodePage::Utf16BE, Bytes({0xFF, 0xFD})},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::FromUtf8(c.utf8, c.page), c.bytes) << c.why;
}

struct DecodeCase {
  const char* why;
  std::string bytes;
  CodePage page;
  std::string utf8;
};

TEST(CodePage, ToUtf8RepairsBrokenInput) {
  const DecodeCase cases[] = {
      {"an undefined Windows-1252 byte among letters", "a\x8D" "b", CodePage::Windows1252, "a\u008Db"},
      {"an odd trailing byte in UTF-16 LE", Bytes({0x61, 0x00, 0x62}), CodePage::Utf16LE, "a" + kReplacement},
      {"an odd trailing byte in UTF-16 BE", Bytes({0x00, 0x61, 0x00}), CodePage::Utf16BE, "a" + kReplacement},
      {"a high surrogate followed by a letter", Bytes({0x3D, 0xD8, 0x61, 0x00}), CodePage::Utf16LE,
       kReplacement + "a"},
      {"a low surrogate alone", Bytes({0x00, 0xDE, 0x61, 0x00}), CodePage::Utf16LE, kReplacement + "a"},
      {"a high surrogate at the end", Bytes({0x61, 0x00, 0x3D, 0xD8}), CodePage::Utf16LE, "a" + kReplacement},
      {"a high surrogate and an odd byte at the end", Bytes({0xD8, 0x3D, 0x00}), CodePage::Utf16BE,
       kReplacement + kReplacement},
      {"a BOM is left to the caller", Bytes({0xFF, 0xFE, 0x61, 0x00}), CodePage::Utf16LE, "\uFEFFa"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::ToUtf8(c.bytes, c.page), c.utf8) << c.why;
}

struct CanEncodeCase {
  const char* why;
  std::string utf8;
  CodePage page;
  bool expected;
};

TEST(CodePage, CanEncodeOnlyWhenEveryCharacterConverts) {
  const CanEncodeCase cases[] = {
      {"a ZIP name in Portuguese fits code page 850", "BACKUP DROVANA/Relatório_ação.zip", CodePage::Cp850, true},
      {"€ does not fit code page 850", "preço €", CodePage::Cp850, false},
      {"a character above the BMP fits no single-byte code page", "😀.zip", CodePage::Cp850, false},
      {"ā does not fit Windows-1252", "ā", CodePage::Windows1252, false},
      {"U+FFFD fits UTF-16", "\uFFFD", CodePage::Utf16LE, true},
      {"invalid UTF-8 is never exact, not even in UTF-16", "a\xFF", CodePage::Utf16LE, false},
      {"invalid UTF-8 is never exact in a single-byte code page", "\xE3", CodePage::Iso8859_1, false},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::CanEncode(c.utf8, c.page), c.expected) << c.why;
}

struct NoCaseCase {
  const char* why;
  std::string a, b;
  bool equal;
};

TEST(CodePage, EqualsNoCaseFoldsLatinLetters) {
  const NoCaseCase cases[] = {
      {"ASCII letters", "Quorvo.ini", "QUORVO.INI", true},
      {"Latin-1 letters", "Ação", "AÇÃO", true},
      {"Latin Extended-A pairs, odd and even", "Łódź Œ", "łÓDŹ œ", true},
      {"Ÿ pairs with ÿ", "Ÿ", "ÿ", true},
      {"× and ÷ are not a pair", "×", "÷", false},
      {"different letters", "Servidor", "Servidos", false},
      {"a prefix is not equal", "Caminho", "Caminh", false},
      {"invalid bytes compare exactly", "\xE9", "\xC9", false},
      {"the same invalid bytes are equal", "a\xE9", "A\xE9", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::EqualsNoCase(c.a, c.b), c.equal) << c.why;
    EXPECT_EQ(platform::EqualsNoCase(c.b, c.a), c.equal) << c.why;
  }
}

}  // namespace
