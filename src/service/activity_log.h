#pragma once

#include <string>
#include <string_view>

#include "platform/date_time.h"
#include "platform/locale.h"

namespace nuvexa {

// The encoding of the log file, told by its byte-order mark; without one, the ANSI code page.
enum class LogEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

LogEncoding DetectLogEncoding(std::string_view head);
std::string_view ByteOrderMark(LogEncoding encoding);
// Whether the file's last bytes end a line (CR or LF), in its encoding.
bool EndsWithLineBreak(std::string_view tail, LogEncoding encoding);

// "DD/MM/YYYY HH:mm:ss" with the locale's separators.
std::string FormatLogTimestamp(platform::TDateTime when, platform::DateTimeSeparators separators);
// One entry in UTF-8: time stamp, " - ", the message; a message's own line breaks start
// further lines without a time stamp; every line ends with CR LF.
std::string BuildLogEntry(std::string_view timestamp, std::string_view message);
std::string EncodeLogText(std::string_view utf8, LogEncoding encoding);

// The activity log: a plain-text file that only ever grows by whole entries appended at
// its end, so a crash or a full disk never costs the lines already written.
class ActivityLog {
 public:
  explicit ActivityLog(std::string path) : path_(std::move(path)) {}

  // Appends one entry and returns it (UTF-8, line breaks included). Throws
  // platform::FileError when the file cannot be written.
  std::string Write(std::string_view message) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace nuvexa
