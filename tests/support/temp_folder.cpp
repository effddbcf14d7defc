#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace nuvexa::test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  const fs::path base = fs::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("nuvexa-test-" + std::to_string(random()));
    // create_directory is false when the name is taken, so two suites never share a folder.
    if (fs::create_directory(candidate)) {
      const std::u8string utf8 = candidate.u8string();
      path_ = std::string(utf8.begin(), utf8.end()) + '/';
      return;
    }
  }
  throw std::runtime_error("Cannot create a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempFolder::WriteFile(std::string_view name, std::string_view bytes) const {
  const std::string path = path_ + std::string(name);
  std::ofstream file(Utf8Path(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("Cannot write " + path);
  return path;
}

}  // namespace nuvexa::test
