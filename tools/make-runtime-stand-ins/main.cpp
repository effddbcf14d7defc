// Makes the payloads the executable carries: for each entry of the deployment table, the
// packager's real file from runtime/ (its name matched without regard to case) or a
// stand-in made here, and a C++ source that embeds them with the assembler's .incbin, or, for
// a Windows build, a resource script that makes each one an RCDATA resource of its name.
//
//   make-runtime-stand-ins <runtime folder> <stand-in folder> <generated .cpp or .rc>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "deploy/deployment_table.h"
#include "deploy/pe_image_writer.h"

namespace {

namespace fs = std::filesystem;
using nuvexa::deploy::kDeploymentTable;
using nuvexa::deploy::RuntimeFile;

// What the real file is, for the stand-in's text.
const std::map<std::string_view, std::string_view> kRealFiles = {
    {"libeay32.dll", "OpenSSL 1.0.2u, libeay32, file version 1.0.2.21"},
    {"ssleay32.dll", "OpenSSL 1.0.2u, ssleay32, file version 1.0.2.21"},
    {"openssl.exe", "the OpenSSL 1.0.2u command-line tool"},
    {"borlndmm.dll", "the Borland/Embarcadero shared memory manager"},
    {"capicom.dll", "Microsoft CAPICOM"},
    {"iconv.dll", "GNU libiconv"},
    {"inpout32.dll", "InpOut32, port access"},
    {"kernel32.dll", "the copy the Windows package ships"},
    {"libcharset-1.dll", "GNU libiconv's libcharset"},
    {"libcrypto-1_1.dll", "OpenSSL 1.1, libcrypto"},
    {"libexslt.dll", "libxslt's libexslt"},
    {"libexslt-0.dll", "libxslt's libexslt"},
    {"libgcc_s_dw2-1.dll", "the MinGW GCC runtime, DWARF-2 exceptions"},
    {"libiconv.dll", "GNU libiconv"},
    {"libiconv-2.dll", "GNU libiconv"},
    {"libintl-8.dll", "GNU gettext's libintl"},
    {"libltdl-7.dll", "GNU Libtool's libltdl"},
    {"libssl-1_1.dll", "OpenSSL 1.1, libssl"},
    {"libstdc++-6.dll", "the MinGW GCC C++ library"},
    {"libwinpthread-1.dll", "MinGW-w64 winpthreads"},
    {"libxml2.dll", "libxml2"},
    {"libxml2-2.dll", "libxml2"},
    {"libxmlsec.dll", "the XML Security Library (xmlsec)"},
    {"libxmlsec1.dll", "the XML Security Library (xmlsec1)"},
    {"libxmlsec1-openssl.dll", "the XML Security Library's OpenSSL back end (xmlsec1)"},
    {"libxmlsec-openssl.dll", "the XML Security Library's OpenSSL back end"},
    {"libxslt.dll", "libxslt"},
    {"libxslt-1.dll", "libxslt"},
    {"msvcm80.dll", "the Microsoft Visual C++ 2005 runtime"},
    {"msvcp80.dll", "the Microsoft Visual C++ 2005 runtime"},
    {"msvcr120.dll", "the Microsoft Visual C++ 2013 runtime"},
    {"msvcr71.dll", "the Microsoft Visual C++ .NET 2003 runtime"},
    {"msvcr80.dll", "the Microsoft Visual C++ 2005 runtime"},
    {"msxml5.dll", "Microsoft XML Core Services 5.0"},
    {"msxml5r.dll", "Microsoft XML Core Services 5.0, its resources"},
    {"zlib.dll", "zlib"},
    {"zlib1.dll", "zlib"},
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

std::string StandInText(const RuntimeFile& entry) {
  const auto real = kRealFiles.find(entry.file_name);
  if (real == kRealFiles.end()) throw std::runtime_error("No description of " + std::string(entry.file_name));
  return "Nuvexa runtime stand-in: put the real " + std::string(entry.file_name) + " (" + std::string(real->second) +
         ", 32-bit) here for a Windows deployment.";
}

// Parses "1.0.2.21".
nuvexa::deploy::VersionParts ParseVersion(std::string_view text) {
  nuvexa::deploy::VersionParts parts{};
  std::istringstream in{std::string(text)};
  char dot = '.';
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) in >> dot;
    in >> parts[i];
    if (!in || dot != '.') throw std::runtime_error("Not a version: " + std::string(text));
  }
  return parts;
}

// A versioned entry gets a PE image of that version, so a deployment of the stand-ins is
// stable; the others a text that says what belongs there.
std::string StandIn(const RuntimeFile& entry) {
  const std::string text = StandInText(entry);
  if (entry.version.empty()) return text + '\n';
  const auto version = ParseVersion(entry.version);
  const auto image = nuvexa::deploy::PeImageWithResources(
      nuvexa::deploy::PeFormat::Pe32,
      {{nuvexa::deploy::kRtVersion, nuvexa::deploy::VersionInfoBlock(version, version, text)}});
  return {image.begin(), image.end()};
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("Cannot write " + path.string());
}

// The packager's files by lower-case name: Windows names ignore case, so LIBEAY32.DLL counts.
std::map<std::string, fs::path> RealFiles(const fs::path& folder) {
  std::map<std::string, fs::path> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& item : fs::directory_iterator(folder)) {
    const std::string name = item.path().filename().string();
    if (!item.is_regular_file() || name == "README.md") continue;
    const bool known = std::any_of(kDeploymentTable.begin(), kDeploymentTable.end(),
                                   [&](const RuntimeFile& e) { return Lower(e.file_name) == Lower(name); });
    if (known)
      files[Lower(name)] = fs::absolute(item.path());
    else
      std::cerr << "warning: " << item.path().string() << " is not a runtime file the executable carries; ignored\n";
  }
  return files;
}

std::string AssemblerString(const std::string& path) {
  if (path.find_first_of("\n\r") != std::string::npos) throw std::runtime_error("A line break in " + path);
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

std::string CppString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\\n\"";
}

// The assembler reads each payload straight from its file: no byte of it passes through the
// C++ compiler, which keeps a build with the real files (some 28 MB) fast.
std::string EmbeddingSource(const std::vector<fs::path>& payloads) {
  std::ostringstream out;
  out << "// Generated by make-runtime-stand-ins. Do not edit.\n"
         "#include \"platform/posix/embedded_payloads.h\"\n\n"
         "asm(\n";
  out << "    " << CppString(".pushsection .rodata.nuvexa_payloads,\"a\",@progbits") << '\n';
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const std::string symbol = "nuvexa_payload_" + std::to_string(i);
    out << "    " << CppString(".balign 16") << '\n'
        << "    " << CppString(symbol + "_begin:") << '\n'
        << "    " << CppString(".incbin " + AssemblerString(payloads[i].string())) << '\n'
        << "    " << CppString(symbol + "_end:") << '\n';
  }
  out << "    " << CppString(".popsection") << ");\n\n";
  out << "extern \"C\" {\n";
  for (std::size_t i = 0; i < payloads.size(); ++i)
    out << "extern const unsigned char nuvexa_payload_" << i << "_begin[], nuvexa_payload_" << i << "_end[];\n";
  out << "}\n\nnamespace platform::embedded {\n\n"
         "std::span<const Payload> Payloads() {\n"
         "  static constexpr Payload kPayloads[] = {\n";
  for (std::size_t i = 0; i < payloads.size(); ++i)
    out << "      {\"" << kDeploymentTable[i].resource_name << "\", nuvexa_payload_" << i << "_begin, nuvexa_payload_"
        << i << "_end},\n";
  out << "  };\n  return kPayloads;\n}\n\n}  // namespace platform::embedded\n";
  return out.str();
}

// Each payload an RCDATA resource named as the table names it; the resource compiler reads the
// files itself.
std::string ResourceScript(const std::vector<fs::path>& payloads) {
  std::ostringstream out;
  out << "// Generated by make-runtime-stand-ins. Do not edit.\n";
  for (std::size_t i = 0; i < payloads.size(); ++i) {
    const std::string name(kDeploymentTable[i].resource_name);
    if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos)
      throw std::runtime_error("Not a resource name for a script: " + name);
    out << name << " RCDATA " << AssemblerString(payloads[i].string()) << '\n';
  }
  return out.str();
}

void Run(const fs::path& runtime_folder, const fs::path& stand_in_folder, const fs::path& output) {
  if (kRealFiles.size() != kDeploymentTable.size()) throw std::runtime_error("The descriptions do not match the table");
  const auto real_files = RealFiles(runtime_folder);
  fs::create_directories(stand_in_folder);
  std::vector<fs::path> payloads;
  for (const RuntimeFile& entry : kDeploymentTable) {
    const auto real = real_files.find(Lower(entry.file_name));
    if (real != real_files.end()) {
      payloads.push_back(real->second);
      continue;
    }
    const fs::path stand_in = fs::absolute(stand_in_folder / entry.file_name);
    WriteFile(stand_in, StandIn(entry));
    payloads.push_back(stand_in);
  }
  WriteFile(output, output.extension() == ".rc" ? ResourceScript(payloads) : EmbeddingSource(payloads));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: make-runtime-stand-ins <runtime folder> <stand-in folder> <generated .cpp or .rc>\n";
    return 2;
  }
  try {
    Run(argv[1], argv[2], argv[3]);
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "make-runtime-stand-ins: " << error.what() << '\n';
    return 1;
  }
}
