#pragma once

namespace platform {

// Separators of the locale the process runs under (its LC_TIME), as the log's time
// stamps use them: "DD/MM/YYYY HH:mm:ss" with "/" and ":" replaced.
struct DateTimeSeparators {
  char date = '/';
  char time = ':';
};

DateTimeSeparators LocaleDateTimeSeparators();

}  // namespace platform
