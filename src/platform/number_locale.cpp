#include "platform/number_locale.h"

#include <clocale>

namespace platform {

NumberSeparators LocaleNumberSeparators() {
  const std::lconv* conventions = std::localeconv();
  NumberSeparators separators;
  if (conventions == nullptr) return separators;
  if (conventions->decimal_point != nullptr && *conventions->decimal_point != '\0')
    separators.decimal = conventions->decimal_point;
  if (conventions->thousands_sep != nullptr) separators.thousands = conventions->thousands_sep;
  return separators;
}

}  // namespace platform
