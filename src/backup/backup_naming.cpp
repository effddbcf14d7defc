#include "backup/backup_naming.h"

#include <cstdio>

namespace nuvexa::backup {

std::string BackupStamp(platform::TDateTime when) {
  const platform::DateParts d = platform::DecodeDate(when);
  const platform::TimeParts t = platform::DecodeTime(when);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%04d_%02d%02d", d.day, d.month, d.year, t.hour, t.minute);
  return text;
}

std::string DatabaseFolderPart(const std::string& database_path) {
  const auto last = database_path.find_last_of("\\/:");
  return last == std::string::npos ? std::string() : database_path.substr(0, last + 1);
}

}  // namespace nuvexa::backup
