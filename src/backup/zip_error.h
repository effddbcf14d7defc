#pragma once

#include <stdexcept>

namespace nuvexa::backup {

// A failure of the archive writer itself, carrying the message that follows
// "Falha ao compactar o arquivo: " in the log. File-system failures arrive as
// platform::FileError with the system's own text.
class ZipError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace nuvexa::backup
