#pragma once

#include <string>

namespace platform {

// Separators of numbers in the locale the process runs under (its LC_NUMERIC). The
// thousands separator is empty where the locale groups no digits, as the "C" locale.
struct NumberSeparators {
  std::string decimal = ".";
  std::string thousands;
};

NumberSeparators LocaleNumberSeparators();

}  // namespace platform
