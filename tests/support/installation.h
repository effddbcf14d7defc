#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/temp_folder.h"

namespace nuvexa::test {

// The text of a file of the source tree, such as the sample database scripts.
std::string ReadSourceFile(std::string_view relative_path);
// The built executable.
std::string NuvexaBinary();

// A folder laid out as an installation: the folder of the executable, with quorvo.ini and
// Nuvexa.log in it. It is root's with mode 0755, as the package installs it: the server's
// account may enter it but write only into the backup folders that the service creates.
class Installation {
 public:
  Installation();

  const std::string& Folder() const { return folder_.Path(); }
  // Writes quorvo.ini: section [Quorvo] with these "Key=Value" lines.
  void WriteSettings(const std::vector<std::string>& lines) const;
  // The messages of Nuvexa.log, in UTF-8, without their time stamps; continuation lines
  // are separate entries.
  std::vector<std::string> LogMessages() const;

 private:
  TempFolder folder_;
};

}  // namespace nuvexa::test
