#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/date_time.h"
#include "platform/number_locale.h"

namespace nuvexa::cloud {

enum class TByteStringFormat { bsfDefault, bsfBytes, bsfKB, bsfMB, bsfGB, bsfTB };

inline constexpr std::uint64_t OneKB = 1024;
inline constexpr std::uint64_t OneMB = 1'048'576;
inline constexpr std::uint64_t OneGB = 1'073'741'824;
inline constexpr std::uint64_t OneTB = 1'099'511'627'776;

// "1023 bytes", "1.5 KB", "1,234.0 MB": one decimal place, thousands grouped, with the
// given separators. bsfDefault picks the largest unit the count reaches.
std::string FormatByteString(std::uint64_t bytes, TByteStringFormat format, const platform::NumberSeparators& separators);
// With the separators of the process's locale.
std::string FormatByteString(std::uint64_t bytes, TByteStringFormat format);

// The service's time stamp ("2015-05-12T15:50:38Z") as a date-time, read by position and
// with no zone conversion. Throws CloudError when the fields are not a valid date and time.
platform::TDateTime FormatDataHora(std::string_view DataHora);

}  // namespace nuvexa::cloud
