#include "support/installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/code_page.h"

namespace nuvexa::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::string ReadSourceFile(std::string_view relative_path) {
  const std::string path = std::string(NUVEXA_SOURCE_DIR) + "/" + std::string(relative_path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string NuvexaBinary() { return NUVEXA_BINARY; }

Installation::Installation() {
  if (::chown(folder_.Path().c_str(), 0, 0) != 0 || ::chmod(folder_.Path().c_str(), 0755) != 0)
    throw std::runtime_error("cannot give " + folder_.Path() + " to root with mode 0755");
}

void Installation::WriteSettings(const std::vector<std::string>& lines) const {
  std::string text = "[Quorvo]\r\n";
  for (const auto& line : lines) text += line + "\r\n";
  folder_.WriteFile("quorvo.ini", text);
}

std::vector<std::string> Installation::LogMessages() const {
  const std::string text = platform::ToUtf8(ReadFile(Folder() + "Nuvexa.log"), platform::CodePage::Windows1252);
  std::vector<std::string> messages;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    // "DD/MM/YYYY HH:mm:ss - " is 22 characters
    if (line.size() >= 22 && line.compare(19, 3, " - ") == 0) line.erase(0, 22);
    messages.push_back(line);
  }
  return messages;
}

}  // namespace nuvexa::test
