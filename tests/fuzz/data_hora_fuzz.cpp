// The service's time stamps ("2015-05-12T15:50:38Z"), read by position.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cloud/cloud_error.h"
#include "cloud/cloud_formats.h"
#include "platform/date_time.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  platform::TDateTime value;
  try {
    value = nuvexa::cloud::FormatDataHora(text);
  } catch (const nuvexa::cloud::CloudError&) {
    return 0;
  }
  // a value that was read must decode to the same moment, or retention would rank it wrongly
  const platform::DateParts d = platform::DecodeDate(value);
  const platform::TimeParts t = platform::DecodeTime(value);
  if (platform::EncodeDateTime(d, t) != value) __builtin_trap();
  return 0;
}
