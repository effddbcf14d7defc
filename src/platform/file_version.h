#pragma once

#include <string>

namespace platform {

// The file version of a program or library as the system shows it ("1.0.2.21"): on Windows
// from GetFileVersionInfoW, elsewhere our reader of its version resource (pe_version.h).
// Empty when the file carries none or cannot be read.
std::string FileVersionText(const std::string& path);

}  // namespace platform
