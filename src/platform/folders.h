#pragma once

#include <string>

namespace platform {

// Creates the folder and any missing parents. New folders get mode 2770 whatever the
// umask: the database server writes the backups into them through its group, and nobody
// else may read the pharmacy's data. Throws FileError.
void ForceDirectories(const std::string& folder);
bool DirectoryExists(const std::string& folder);

// Copies a file, replacing the target. The target gets mode 0660 at most. Throws FileError
// whose message is the system's description of the failure.
void CopyFileReplacing(const std::string& source, const std::string& target);

// Gives `from` the name `to` in one step, replacing a file of that name, so a reader of
// `to` sees either the old file or the whole new one. Both must be on one file system.
// Throws FileError.
void ReplaceFile(const std::string& from, const std::string& to);

}  // namespace platform
