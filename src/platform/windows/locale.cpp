#include "platform/locale.h"

#include <windows.h>

namespace platform {
namespace {

char SeparatorOf(LCTYPE type, char fallback) {
  wchar_t text[8] = {};
  if (::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text, 8) < 2) return fallback;
  return text[0] < 0x80 ? static_cast<char>(text[0]) : fallback;
}

}  // namespace

// The user's regional settings, as the log's time stamps on Windows always followed them.
DateTimeSeparators LocaleDateTimeSeparators() { return {SeparatorOf(LOCALE_SDATE, '/'), SeparatorOf(LOCALE_STIME, ':')}; }

}  // namespace platform
