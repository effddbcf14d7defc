#pragma once

#include <gtest/gtest.h>

#include <string>

namespace nuvexa::test {

inline constexpr const char* kFirebirdHost = "127.0.0.1";
inline constexpr int kFirebirdPort = 3050;
inline constexpr const char* kSysdbaPassword = "cobweb";

// Whether the local Firebird server accepts connections on 127.0.0.1:3050.
bool FirebirdAnswers();
// CI runs every suite: there a missing server is a failure, elsewhere a skip.
bool RunningInCi();

}  // namespace nuvexa::test

// At the top of a test (or SetUp) that needs the local Firebird server.
#define NUVEXA_REQUIRE_FIREBIRD()                                                                  \
  do {                                                                                             \
    if (!::nuvexa::test::FirebirdAnswers()) {                                                      \
      if (::nuvexa::test::RunningInCi()) {                                                         \
        FAIL() << "the Firebird server does not answer on 127.0.0.1:3050 (scripts/firebird.sh start)"; \
      } else {                                                                                     \
        GTEST_SKIP() << "the Firebird server does not answer on 127.0.0.1:3050; run scripts/firebird.sh start"; \
      }                                                                                            \
    }                                                                                              \
  } while (false)
