#pragma once

#include <string>

#include "platform/date_time.h"

namespace nuvexa::backup {

// The stamp of a cycle's backup files: "DDMMYYYY_HHmm" (8 December 2025, 23:34 gives
// "08122025_2334"); two runs in the same minute give the same names.
std::string BackupStamp(platform::TDateTime when);

// The folder part of a database path as the server writes it (Windows or POSIX syntax):
// everything up to and including the last "\", "/" or drive colon.
std::string DatabaseFolderPart(const std::string& database_path);

}  // namespace nuvexa::backup
