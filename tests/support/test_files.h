#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nuvexa::test {

struct CommandResult {
  int status = -1;     // the exit status; -1 when the command did not end normally
  std::string output;  // standard output and standard error together
};

// Runs a shell command (the real unzip, zipinfo, gbak...) and collects what it printed.
CommandResult RunCommand(const std::string& command);

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Text that compresses the way database pages do: words and numbers, repetitive but not
// periodic; the same seed gives the same bytes.
std::string CompressibleData(std::size_t size, std::uint32_t seed = 1);

// The text with every run of spaces, tabs and line breaks made one space, so tool output
// can be matched without caring for its column layout.
std::string WhitespaceCollapsed(const std::string& text);

}  // namespace nuvexa::test
