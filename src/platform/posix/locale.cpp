#include "platform/locale.h"

#include <langinfo.h>

#include <cctype>

namespace platform {
namespace {

// The first character of the format that is neither a conversion nor a letter or digit:
// "%d/%m/%Y" gives '/', "%d.%m.%Y" gives '.'.
char SeparatorOf(const char* format, char fallback) {
  if (format == nullptr) return fallback;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p == '%') {
      if (*++p == '\0') break;
      continue;
    }
    if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != ' ') return *p;
  }
  return fallback;
}

}  // namespace

DateTimeSeparators LocaleDateTimeSeparators() {
  return {SeparatorOf(nl_langinfo(D_FMT), '/'), SeparatorOf(nl_langinfo(T_FMT), ':')};
}

}  // namespace platform
