#pragma once

#include <sys/stat.h>

#include <string>

namespace platform::posix {

// Opens a file that the service writes for itself (the log, an archive, a copy, a runtime
// file) the safe way, since the folders it writes in may be shared with the database
// server's account: never through a symbolic link at the last component, only a regular
// file with a single name, never blocking on a FIFO, and at most mode 0640 whatever the
// umask (a file that was there is brought down to that too). `flags` holds the access mode
// and O_APPEND or O_TRUNC; truncation happens only once the file has passed the checks.
// Returns the descriptor, or -1 with `failure` set to the reason, as the log shows it.
int OpenPrivateFile(const std::string& path, int flags, std::string& failure);

// Why a file found where the service writes is refused, as the log shows it: a symbolic
// link, anything but a regular file, or a regular file with a second name. Null when it
// is none of those.
const char* RefusalOf(const struct stat& found);

}  // namespace platform::posix
