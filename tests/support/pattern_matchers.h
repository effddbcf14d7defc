#pragma once

// Regular-expression matchers on std::regex (ECMAScript), the same on every platform:
// GoogleTest's own regular expressions are the POSIX ones on Linux and a small subset of
// them on Windows, without bracket expressions or repetition counts.
#include <gmock/gmock.h>

#include <regex>
#include <string>

namespace nuvexa::test {

MATCHER_P(MatchesPattern, pattern, std::string("matches the pattern ") + pattern) {
  return std::regex_match(std::string(arg), std::regex(pattern));
}

MATCHER_P(ContainsPattern, pattern, std::string("contains the pattern ") + pattern) {
  return std::regex_search(std::string(arg), std::regex(pattern));
}

}  // namespace nuvexa::test
