#include "support/test_files.h"

#include "support/temp_folder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <fstream>
#include <iterator>

namespace nuvexa::test {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
#ifdef _WIN32
  FILE* pipe = ::_popen((command + " 2>&1").c_str(), "rb");
#else
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
#endif
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
#ifdef _WIN32
  result.status = ::_pclose(pipe);
#else
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return result;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string CompressibleData(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"CLIENTE ", "PRODUTO ", "ESTOQUE ", "0001 ", "FARMACIA ", "VENDA ",
                                       "receita ", "dipirona ", "\n", "2025-12-08 ", "R$ 12,50 ", "\x01\x02"};
  std::string data;
  data.reserve(size + 16);
  std::uint32_t state = seed;
  while (data.size() < size) {
    state = state * 1'103'515'245u + 12'345u;
    data += kWords[(state >> 16) % std::size(kWords)];
    if ((state >> 8) % 7 == 0) data += std::to_string(state % 100'000);
  }
  data.resize(size);
  return data;
}

std::string WhitespaceCollapsed(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool space = c == ' ' || c == '\n' || c == '\t' || c == '\r';
    if (space && !out.empty() && out.back() == ' ') continue;
    out += space ? ' ' : c;
  }
  return out;
}

}  // namespace nuvexa::test
