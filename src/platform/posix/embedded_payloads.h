#pragma once

#include <span>
#include <string_view>

// The payload files that the build embeds in the executable (the generated
// embedded_payloads.cpp defines the table; src/deploy/CMakeLists.txt says how).
namespace platform::embedded {

struct Payload {
  std::string_view name;
  const unsigned char* begin;
  const unsigned char* end;
};

std::span<const Payload> Payloads();

}  // namespace platform::embedded
