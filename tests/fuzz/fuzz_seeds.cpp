// Lays out one target's seeds for a run: the corpus files as they are, a ".hex" file as the
// bytes it spells (pairs of hex digits; blanks and "#" comments to the end of a line are
// skipped), and for the PE version reader the images the deploy code's writer makes.
//
//   fuzz_seeds <target> <corpus folder> <run folder>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deploy/pe_image_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace nuvexa::deploy;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string FromHex(std::string_view text, const fs::path& path) {
  std::string bytes, digits;
  bool comment = false;
  for (const char c : text) {
    if (c == '\n') comment = false;
    if (comment || std::isspace(static_cast<unsigned char>(c))) continue;
    if (c == '#') {
      comment = true;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw std::runtime_error(path.string() + ": not hex: " + c);
    digits += c;
    if (digits.size() == 2) {
      bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
      digits.clear();
    }
  }
  if (!digits.empty()) throw std::runtime_error(path.string() + ": an odd number of hex digits");
  return bytes;
}

void WriteImage(const fs::path& path, const std::vector<std::uint8_t>& image) {
  WriteAll(path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}

void WritePeImages(const fs::path& folder) {
  const auto version = VersionInfoBlock({1, 0, 2, 21}, {1, 0, 2, 21}, "seed");
  const std::vector<std::uint8_t> manifest{'<', '?', 'x', 'm', 'l', '?', '>'};
  WriteImage(folder / "writer-pe32", PeImageWithResources(PeFormat::Pe32, {{kRtVersion, version}}));
  WriteImage(folder / "writer-pe32plus", PeImageWithResources(PeFormat::Pe32Plus, {{kRtVersion, version}}));
  // a type listed before the version resource, and one after it
  WriteImage(folder / "writer-three-types",
             PeImageWithResources(PeFormat::Pe32, {{24, manifest}, {kRtVersion, version}, {10, {1, 2, 3}}}));
  WriteImage(folder / "writer-no-version", PeImageWithResources(PeFormat::Pe32Plus, {{10, manifest}}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: fuzz_seeds <target> <corpus folder> <run folder>\n";
    return 2;
  }
  try {
    const std::string target = argv[1];
    const fs::path corpus = argv[2], run = argv[3];
    fs::create_directories(run);
    if (fs::exists(corpus)) {
      for (const auto& entry : fs::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        const fs::path& from = entry.path();
        if (from.extension() == ".hex")
          WriteAll(run / from.stem(), FromHex(ReadAll(from), from));
        else
          fs::copy_file(from, run / from.filename(), fs::copy_options::overwrite_existing);
      }
    }
    if (target == "pe_version") WritePeImages(run);
  } catch (const std::exception& failure) {
    std::cerr << "fuzz_seeds: " << failure.what() << '\n';
    return 1;
  }
  return 0;
}
