#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace nuvexa::test {

// A path held in UTF-8, as the program holds paths, for the standard library's files (which
// would take a narrow string in the ANSI code page on Windows).
inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's full path, ending with '/'.
  const std::string& Path() const { return path_; }

  // Writes `bytes` to the file `name` inside the folder, replacing it; returns its full path.
  std::string WriteFile(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

}  // namespace nuvexa::test
