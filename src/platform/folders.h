#pragma once

#include <string>

namespace platform {

// Creates the folder and any missing parents. New folders get mode 2770 whatever the
// umask: the database server writes the backups into them through its group, and nobody
// else may read the pharmacy's data. Throws FileError.
void ForceDirectories(const std::string& folder);
bool DirectoryExists(const std::string& folder);
// Creates a folder that the database server writes into, when it is missing: the group
// `group` (a group name), setgid so that what the server writes keeps that group, mode
// 2770 whatever the umask. An existing folder is left as it is. The parent must exist.
// Throws FileError; a group that does not exist leaves the folder to root's group.
void CreateSharedFolder(const std::string& folder, const std::string& group);

// Copies a file, replacing the target. The copy is written beside the target under a
// hidden name and renamed into place, so a failed copy leaves no partial target and an
// existing one as it was. The target gets mode 0640 at most; it is refused when it is a
// symbolic link, a second hard link or not a regular file, and when it is the source
// itself (however its path is written, through links or mounts), which is never touched.
// Throws FileError whose message is the system's description of the failure.
void CopyFileReplacing(const std::string& source, const std::string& target);

// Gives `from` the name `to` in one step, replacing a file of that name, so a reader of
// `to` sees either the old file or the whole new one. Both must be on one file system.
// Throws FileError.
void ReplaceFile(const std::string& from, const std::string& to);

}  // namespace platform
