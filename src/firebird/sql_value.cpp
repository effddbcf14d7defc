#include "firebird/sql_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "firebird/firebird_error.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {
namespace {

// 30 December 1899, day 0 of the system's dates, is day 15018 of Firebird's.
constexpr ISC_DATE kIscDateOfZero = 15018;
constexpr std::int64_t kIscTimeUnitsPerMs = 10;
// sqllen is a 16-bit count and VARYING keeps two bytes of it for the length
constexpr std::size_t kMaxVaryingLength = 32765;

std::int64_t PowerOfTen(int exponent) {
  std::int64_t result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

std::string ScaledToString(std::int64_t unscaled, int scale) {
  if (scale >= 0) return std::to_string(unscaled * PowerOfTen(scale));
  const std::int64_t divisor = PowerOfTen(-scale);
  // the magnitude as unsigned, so the most negative BIGINT does not overflow
  const std::uint64_t magnitude = unscaled < 0 ? 0 - static_cast<std::uint64_t>(unscaled) : unscaled;
  std::string whole = std::to_string(magnitude / static_cast<std::uint64_t>(divisor));
  std::string fraction = std::to_string(magnitude % static_cast<std::uint64_t>(divisor));
  fraction.insert(0, static_cast<std::size_t>(-scale) - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = unscaled < 0 ? "-" + whole : whole;
  if (!fraction.empty()) text += "." + fraction;
  return text;
}

std::int64_t RoundScaled(std::int64_t unscaled, int scale) {
  if (scale >= 0) return unscaled * PowerOfTen(scale);
  const std::int64_t divisor = PowerOfTen(-scale);
  std::int64_t quotient = unscaled / divisor;
  const std::int64_t remainder = unscaled % divisor;
  if (remainder * 2 >= divisor) ++quotient;
  if (remainder * 2 <= -divisor) --quotient;
  return quotient;
}

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string DateText(platform::TDateTime value) {
  const platform::DateParts d = platform::DecodeDate(value);
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", d.day, d.month, d.year);
  return text;
}

std::string TimeText(platform::TDateTime value) {
  const platform::TimeParts t = platform::DecodeTime(value);
  return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::int64_t ParseInteger(const std::string& text) {
  const auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  while (begin != end && is_space(*begin)) ++begin;
  while (end != begin && is_space(end[-1])) --end;
  if (begin != end && *begin == '+') ++begin;
  std::int64_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::result_out_of_range) throw std::out_of_range("'" + text + "' is not a valid integer value");
  if (error != std::errc() || stop != end || begin == end) {
    throw std::invalid_argument("'" + text + "' is not a valid integer value");
  }
  return value;
}

template <typename T>
T Load(const char* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <typename T>
std::string Bytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

ParamBinding NullBinding() {
  ParamBinding binding;
  binding.null = true;
  binding.data.assign(2, '\0');  // an empty VARYING, so sqldata points somewhere valid
  return binding;
}

}  // namespace

Value Value::Text(std::string utf8) {
  Value v;
  v.data_ = std::move(utf8);
  return v;
}

Value Value::Integer(std::int64_t unscaled, int scale) {
  Value v;
  v.data_ = Scaled{unscaled, scale};
  return v;
}

Value Value::Float(double value) {
  Value v;
  v.data_ = value;
  return v;
}

Value Value::DateTime(platform::TDateTime value, Moment kind) {
  Value v;
  v.data_ = When{value, kind};
  return v;
}

std::string Value::AsString() const {
  if (const auto* text = std::get_if<std::string>(&data_)) return *text;
  if (const auto* scaled = std::get_if<Scaled>(&data_)) return ScaledToString(scaled->unscaled, scaled->scale);
  if (const auto* number = std::get_if<double>(&data_)) {
    char text[32];
    const auto result = std::to_chars(std::begin(text), std::end(text), *number);
    return std::string(text, result.ptr);
  }
  if (const auto* when = std::get_if<When>(&data_)) {
    switch (when->kind) {
      case Moment::Date: return DateText(when->value);
      case Moment::Time: return TimeText(when->value);
      case Moment::Timestamp: return DateText(when->value) + " " + TimeText(when->value);
    }
  }
  return "";
}

std::int64_t Value::AsLargeInt() const {
  if (const auto* scaled = std::get_if<Scaled>(&data_)) return RoundScaled(scaled->unscaled, scaled->scale);
  if (const auto* text = std::get_if<std::string>(&data_)) return ParseInteger(*text);
  if (const auto* number = std::get_if<double>(&data_)) {
    const double rounded = std::round(*number);
    // 2^63 is exactly representable; anything at or beyond it does not fit
    if (!(std::fabs(rounded) < 9223372036854775808.0)) throw std::out_of_range("value out of integer range");
    return static_cast<std::int64_t>(rounded);
  }
  if (std::holds_alternative<When>(data_)) throw std::invalid_argument("a date-time is not an integer value");
  return 0;
}

std::int32_t Value::AsInteger() const {
  const std::int64_t value = AsLargeInt();
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    throw std::out_of_range(std::to_string(value) + " is out of the 32-bit integer range");
  }
  return static_cast<std::int32_t>(value);
}

platform::TDateTime Value::AsDateTime() const {
  if (const auto* when = std::get_if<When>(&data_)) return when->value;
  if (const auto* number = std::get_if<double>(&data_)) return *number;
  if (IsNull()) return 0;
  throw std::invalid_argument("'" + AsString() + "' is not a date-time value");
}

platform::TDateTime FromIscDate(ISC_DATE date) { return static_cast<platform::TDateTime>(date - kIscDateOfZero); }

platform::TDateTime FromIscTime(ISC_TIME time) {
  const std::int64_t ms = time / kIscTimeUnitsPerMs;
  return platform::EncodeTime(static_cast<int>(ms / 3'600'000), static_cast<int>(ms / 60'000 % 60),
                              static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
}

platform::TDateTime FromIscTimestamp(const ISC_TIMESTAMP& timestamp) {
  const platform::TDateTime day = FromIscDate(timestamp.timestamp_date);
  const platform::TDateTime time = FromIscTime(timestamp.timestamp_time);
  // before day 0 the time of day counts away from zero
  return day < 0 ? day - time : day + time;
}

ISC_TIMESTAMP ToIscTimestamp(platform::TDateTime value) {
  const platform::DateParts d = platform::DecodeDate(value);
  const platform::TimeParts t = platform::DecodeTime(value);
  ISC_TIMESTAMP timestamp{};
  timestamp.timestamp_date =
      static_cast<ISC_DATE>(platform::DayPart(platform::EncodeDate(d.year, d.month, d.day))) + kIscDateOfZero;
  timestamp.timestamp_time = static_cast<ISC_TIME>(
      ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 * kIscTimeUnitsPerMs +
      static_cast<std::int64_t>(t.millisecond) * kIscTimeUnitsPerMs);
  return timestamp;
}

Value DecodeColumn(const XSQLVAR& column) {
  if ((column.sqltype & 1) != 0 && column.sqlind != nullptr && *column.sqlind < 0) return Value::Null();
  const char* data = column.sqldata;
  switch (column.sqltype & ~1) {
    case SQL_TEXT: {
      std::string_view text(data, static_cast<std::size_t>(column.sqllen));
      const std::size_t end = text.find_last_not_of(' ');
      text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
      return Value::Text(platform::ToUtf8(text, platform::CodePage::Iso8859_1));
    }
    case SQL_VARYING: {
      const auto length = static_cast<std::size_t>(Load<ISC_USHORT>(data));
      return Value::Text(platform::ToUtf8(std::string_view(data + 2, length), platform::CodePage::Iso8859_1));
    }
    case SQL_SHORT: return Value::Integer(Load<ISC_SHORT>(data), column.sqlscale);
    case SQL_LONG: return Value::Integer(Load<ISC_LONG>(data), column.sqlscale);
    case SQL_INT64: return Value::Integer(Load<ISC_INT64>(data), column.sqlscale);
    case SQL_BOOLEAN: return Value::Integer(Load<FB_BOOLEAN>(data) != 0 ? 1 : 0);
    case SQL_FLOAT: return Value::Float(Load<float>(data));
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Value::Float(Load<double>(data));
    case SQL_TIMESTAMP: return Value::DateTime(FromIscTimestamp(Load<ISC_TIMESTAMP>(data)));
    case SQL_TYPE_DATE: return Value::DateTime(FromIscDate(Load<ISC_DATE>(data)), Value::Moment::Date);
    case SQL_TYPE_TIME: return Value::DateTime(FromIscTime(Load<ISC_TIME>(data)), Value::Moment::Time);
    default: {
      const std::string name(column.aliasname, static_cast<std::size_t>(column.aliasname_length));
      throw FirebirdError("Column [" + name + "] has a data type that cannot be read (" +
                          std::to_string(column.sqltype & ~1) + ").");
    }
  }
}

ParamBinding BindParam(const Value& value, const XSQLVAR& described) {
  ParamBinding binding;
  if (const auto* text = std::get_if<std::string>(&value.data_)) {
    std::string bytes = platform::FromUtf8(*text, platform::CodePage::Iso8859_1);
    const int described_type = described.sqltype & ~1;
    // one byte per character in ISO 8859-1, so the marker's byte length is its length in characters
    const bool text_marker = described_type == SQL_TEXT || described_type == SQL_VARYING;
    const std::size_t limit =
        text_marker ? std::min<std::size_t>(described.sqllen, kMaxVaryingLength) : kMaxVaryingLength;
    if (bytes.size() > limit) bytes.resize(limit);
    if (bytes.empty()) return NullBinding();
    if (text_marker) binding.sub_type = described.sqlsubtype;
    binding.length = static_cast<short>(bytes.size());
    binding.data = Bytes(static_cast<ISC_USHORT>(bytes.size())) + bytes;
    return binding;
  }
  if (const auto* scaled = std::get_if<Value::Scaled>(&value.data_)) {
    binding.sql_type = SQL_INT64;
    binding.scale = static_cast<short>(scaled->scale);
    binding.data = Bytes(static_cast<ISC_INT64>(scaled->unscaled));
  } else if (const auto* number = std::get_if<double>(&value.data_)) {
    binding.sql_type = SQL_DOUBLE;
    binding.data = Bytes(*number);
  } else if (const auto* when = std::get_if<Value::When>(&value.data_)) {
    const ISC_TIMESTAMP timestamp = ToIscTimestamp(when->value);
    switch (when->kind) {
      case Value::Moment::Timestamp:
        binding.sql_type = SQL_TIMESTAMP;
        binding.data = Bytes(timestamp);
        break;
      case Value::Moment::Date:
        binding.sql_type = SQL_TYPE_DATE;
        binding.data = Bytes(timestamp.timestamp_date);
        break;
      case Value::Moment::Time:
        binding.sql_type = SQL_TYPE_TIME;
        binding.data = Bytes(timestamp.timestamp_time);
        break;
    }
  } else {
    return NullBinding();
  }
  binding.length = static_cast<short>(binding.data.size());
  return binding;
}

}  // namespace nuvexa::firebird
