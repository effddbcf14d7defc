#include "platform/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using nuvexa::test::TempFolder;
using platform::Ini;

// Written byte by byte here so that the files do not depend on the converter under test.
std::string Utf16(std::u16string_view text, bool little_endian) {
  std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    bytes += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}

struct FlagCase {
  const char* why;
  const char* value;
  bool def;
  bool expected;
};

TEST(Ini, ReadFlagTakesNumbersOnly) {
  const FlagCase cases[] = {
      {"1 is on", "1", false, true},
      {"hexadecimal after 0x", "0x1", false, true},
      {"hexadecimal after $", "$1", false, true},
      {"hexadecimal after 0X", "0X1F", false, true},
      {"a negative number is not zero", "-1", false, true},
      {"blanks around the number are trimmed", "  1\t", false, true},
      {"quotes are removed before the number is read", "\"1\"", false, true},
      {"0 is off even with a true default", "0", true, false},
      {"0x0 is off", "0x0", true, false},
      {"True is no number: default false", "True", false, false},
      {"True is no number: default true", "True", true, true},
      {"an empty value gives the default", "", false, false},
      {"an empty value keeps a true default", "", true, true},
      {"a number with trailing letters is no number", "1x", false, false},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const Ini ini(folder.WriteFile("quorvo.ini", std::string("[Quorvo]\r\nDesativarNuvexa=") + c.value + "\r\n"));
    EXPECT_EQ(ini.ReadFlag("Quorvo", "DesativarNuvexa", c.def), c.expected) << c.why;
  }
}

struct IntegerCase {
  const char* why;
  const char* value;
  int expected;  // the default is 7
};

TEST(Ini, ReadIntegerIsThirtyTwoBits) {
  const IntegerCase cases[] = {
      {"decimal", "360", 360},
      {"negative decimal", "-42", -42},
      {"explicit plus", "+5", 5},
      {"lower-case hexadecimal digits", "$ff", 255},
      {"largest positive", "2147483647", 2147483647},
      {"smallest negative", "-2147483648", -2147483647 - 1},
      {"one past the largest", "2147483648", 7},
      {"far out of range", "99999999999999999999", 7},
      {"hexadecimal spells the 32-bit pattern", "0xFFFFFFFF", -1},
      {"hexadecimal beyond 32 bits", "0x100000000", 7},
      {"leading zeros do not count toward the range", "$000000001", 1},
      {"a prefix without digits", "0x", 7},
      {"a dollar without digits", "$", 7},
      {"a sign without digits", "-", 7},
      {"hexadecimal digits without a prefix", "1F", 7},
      {"a blank inside", "1 2", 7},
      {"a decimal point", "1.5", 7},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const Ini ini(folder.WriteFile("quorvo.ini", std::string("[Quorvo]\nValor=") + c.value + "\n"));
    EXPECT_EQ(ini.ReadInteger("Quorvo", "Valor", 7), c.expected) << c.why;
  }
}

struct StringCase {
  const char* why;
  const char* section;
  const char* key;
  const char* def;
  const char* expected;
};

TEST(Ini, ReadStringFollowsProfileRules) {
  TempFolder folder;
  const Ini ini(folder.WriteFile("quorvo.ini",
                                 "Orphan=before any section\n"
                                 "; a comment\n"
                                 "[Quorvo]\n"
                                 "  Servidor =  192.168.0.10  \n"
                                 "Caminho=\"C:\\Dados\\quorvo.fdb\"\n"
                                 "Single='  spaced  '\n"
                                 "Mismatched=\"abc'\n"
                                 "Lone=\"\n"
                                 "Vazio=\n"
                                 "NoEquals\n"
                                 "  ;Commented=1\n"
                                 "Dup=first\n"
                                 "DUP=second\n"
                                 "Equals=a=b\n"
                                 "Inline=x ; not a comment\n"
                                 "Ação=sim\n"
                                 "  [ Outra ]  \n"
                                 "Servidor=other\n"
                                 "[quorvo]\n"
                                 "Late=in a second copy of the section\n"));
  const StringCase cases[] = {
      {"blanks around key and value are trimmed", "Quorvo", "Servidor", "", "192.168.0.10"},
      {"section and key ignore case", "QUORVO", "servidor", "", "192.168.0.10"},
      {"double quotes are removed", "Quorvo", "Caminho", "", "C:\\Dados\\quorvo.fdb"},
      {"single quotes are removed, the blanks inside kept", "Quorvo", "Single", "", "  spaced  "},
      {"quotes that do not match stay", "Quorvo", "Mismatched", "", "\"abc'"},
      {"a lone quote stays", "Quorvo", "Lone", "", "\""},
      {"an empty value is empty, not the default", "Quorvo", "Vazio", "localhost", ""},
      {"a line without = holds no value", "Quorvo", "NoEquals", "def", "def"},
      {"a comment is no key", "Quorvo", ";Commented", "def", "def"},
      {"a commented-out key is missing", "Quorvo", "Commented", "def", "def"},
      {"the first of two keys wins", "Quorvo", "dup", "", "first"},
      {"the value runs from the first =", "Quorvo", "Equals", "", "a=b"},
      {"a ; after the value is part of it", "Quorvo", "Inline", "", "x ; not a comment"},
      {"Latin letters in a key ignore case", "Quorvo", "AÇÃO", "", "sim"},
      {"blanks around a section name are trimmed", "outra", "Servidor", "", "other"},
      {"only the first copy of a section is searched", "Quorvo", "Late", "def", "def"},
      {"a key before any section belongs to none", "Quorvo", "Orphan", "def", "def"},
      {"a missing section gives the default", "Nenhuma", "Servidor", "localhost", "localhost"},
      {"a missing key gives the default, less trailing blanks", "Quorvo", "Nada", " x y  ", " x y"},
  };
  for (const auto& c : cases) EXPECT_EQ(ini.ReadString(c.section, c.key, c.def), c.expected) << c.why;
}

TEST(Ini, LineEndsOfEveryKind) {
  for (const std::string end : {"\r\n", "\n", "\r"}) {
    TempFolder folder;
    const Ini ini(folder.WriteFile("quorvo.ini", "[Quorvo]" + end + "Servidor=srv" + end + end + "Caminho=/db"));
    EXPECT_EQ(ini.ReadString("Quorvo", "Servidor", ""), "srv") << "line end " << testing::PrintToString(end);
    EXPECT_EQ(ini.ReadString("Quorvo", "Caminho", ""), "/db") << "line end " << testing::PrintToString(end);
  }
}

struct EncodingCase {
  const char* why;
  std::string bytes;
};

TEST(Ini, FileEncodings) {
  const EncodingCase cases[] = {
      {"UTF-8 with a BOM", "\xEF\xBB\xBF[Quorvo]\r\nPasta=D:\\Cópia ação €\r\n"},
      {"UTF-8 without a BOM", "[Quorvo]\r\nPasta=D:\\Cópia ação €\r\n"},
      {"Windows-1252 without a BOM", "[Quorvo]\r\nPasta=D:\\C\xF3pia a\xE7\xE3o \x80\r\n"},
      {"UTF-16 LE with a BOM", Utf16(u"[Quorvo]\r\nPasta=D:\\Cópia ação €\r\n", true)},
      {"UTF-16 BE with a BOM", Utf16(u"[Quorvo]\r\nPasta=D:\\Cópia ação €\r\n", false)},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const Ini ini(folder.WriteFile("quorvo.ini", c.bytes));
    EXPECT_EQ(ini.ReadString("QUORVO", "Pasta", ""), "D:\\Cópia ação €") << c.why;
  }
}

struct CutCase {
  const char* why;
  std::string value;
  std::string expected;
};

TEST(Ini, ValuesAreCutAt2047Characters) {
  const std::string x2047(2047, 'x');
  std::string e2047;
  for (int i = 0; i < 2047; ++i) e2047 += "é";
  const CutCase cases[] = {
      {"exactly 2047 characters are kept", x2047, x2047},
      {"a longer value is cut", x2047 + "yyy", x2047},
      {"characters are counted, not bytes", e2047 + "é", e2047},
      {"quotes are removed before the cut", "\"" + x2047 + "\"", x2047},
      {"a character above the BMP takes two places and is not split", x2047.substr(1) + "😀", x2047.substr(1)},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    const Ini ini(folder.WriteFile("quorvo.ini", "[Quorvo]\nCaminho=" + c.value + "\n"));
    EXPECT_EQ(ini.ReadString("Quorvo", "Caminho", ""), c.expected) << c.why;
  }
  const Ini missing("/nonexistent/quorvo.ini");
  EXPECT_EQ(missing.ReadString("Quorvo", "Caminho", x2047 + "z"), x2047) << "the default is cut too";
}

struct FileNameCase {
  const char* why;
  std::vector<std::pair<const char*, const char*>> files;  // name on disk, value of Servidor
  const char* asked;
  const char* expected;
};

TEST(Ini, FileNameIgnoresCase) {
  const FileNameCase cases[] = {
      {"lower case on disk", {{"quorvo.ini", "a"}}, "Quorvo.ini", "a"},
      {"upper case on disk", {{"QUORVO.INI", "a"}}, "Quorvo.ini", "a"},
      {"an exact match wins", {{"QUORVO.INI", "upper"}, {"Quorvo.ini", "exact"}, {"quorvo.ini", "lower"}},
       "Quorvo.ini", "exact"},
      {"an exact match wins, lower case", {{"QUORVO.INI", "upper"}, {"quorvo.ini", "lower"}}, "quorvo.ini", "lower"},
      {"another name does not match", {{"quorvo2.ini", "a"}}, "Quorvo.ini", "missing"},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    for (const auto& [name, value] : c.files) folder.WriteFile(name, std::string("[Quorvo]\nServidor=") + value);
    const Ini ini(folder.Path() + c.asked);
    EXPECT_EQ(ini.ReadString("Quorvo", "Servidor", "missing"), c.expected) << c.why;
  }
}

TEST(Ini, EveryReadSeesTheFileAsItIsNow) {
  TempFolder folder;
  const Ini ini(folder.Path() + "Quorvo.ini");
  EXPECT_FALSE(ini.ReadFlag("Quorvo", "DesativarNuvexa", false)) << "no file yet";
  EXPECT_TRUE(ini.ReadFlag("Quorvo", "DesativarNuvexa", true)) << "no file yet, default true";

  folder.WriteFile("quorvo.ini", "[Quorvo]\nDesativarNuvexa=1\n");
  EXPECT_TRUE(ini.ReadFlag("Quorvo", "DesativarNuvexa", false)) << "file created";

  folder.WriteFile("quorvo.ini", "[Quorvo]\nDesativarNuvexa=0\n");
  EXPECT_FALSE(ini.ReadFlag("Quorvo", "DesativarNuvexa", true)) << "file edited";

  std::filesystem::remove(folder.Path() + "quorvo.ini");
  EXPECT_EQ(ini.ReadString("Quorvo", "Servidor", "localhost"), "localhost") << "file removed";
}

}  // namespace
