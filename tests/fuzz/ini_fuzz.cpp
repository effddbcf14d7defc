// The settings file reader. The input's first three lines are the section, the key and the
// default asked for; the rest is the file, written afresh for every run as the reader opens it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini.h"
#include "support/temp_folder.h"

namespace {

std::string_view NextLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nuvexa::test::TempFolder folder;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view section = NextLine(input);
  const std::string_view key = NextLine(input);
  const std::string_view def = NextLine(input);
  folder.WriteFile("quorvo.ini", input);

  // the name in another case finds the same file
  const platform::Ini ini(folder.Path() + "QUORVO.INI");
  const std::string value = ini.ReadString(section, key, def);
  // GetPrivateProfileString's buffer: 2047 UTF-16 units, at most 3 bytes of UTF-8 each
  if (value.size() > 3 * 2047) __builtin_trap();
  ini.ReadInteger(section, key, -1);
  return 0;
}
