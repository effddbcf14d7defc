#pragma once

#include <string>
#include <string_view>

namespace platform {

// Reader of a Windows profile (INI) file with the semantics of
// GetPrivateProfileStringW. Every read opens the file afresh, so an edit made
// by the program that owns the file is seen at the next read.
class Ini {
 public:
  // The file name part of `path` is matched without regard to case in its folder.
  explicit Ini(std::string path);

  // The value, or `def` (less its trailing spaces) when the file, the section
  // or the key is missing. Values and defaults are cut at 2047 characters.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;

  // A decimal number, or a hexadecimal one after "0x", "0X" or "$", in 32
  // bits; any other text (empty included) yields `def`.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;

  // ReadInteger with 1 or 0 as the default; true when not zero.
  bool ReadFlag(std::string_view section, std::string_view key, bool def) const;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace platform
