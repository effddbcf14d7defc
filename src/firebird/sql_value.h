#pragma once

#include <ibase.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/date_time.h"

namespace nuvexa::firebird {

struct ParamBinding;

// One value read from a column or given to a parameter, with the readings that the system
// uses. NULL reads as "", 0 and a zero date-time.
class Value {
 public:
  enum class Moment { Timestamp, Date, Time };

  Value() = default;  // NULL
  static Value Null() { return Value(); }
  // `utf8` is stored as given; an empty text stays an empty text (writes turn it into NULL).
  static Value Text(std::string utf8);
  // `unscaled` times ten to the power `scale` (scale <= 0, as NUMERIC and DECIMAL store them).
  static Value Integer(std::int64_t unscaled, int scale = 0);
  static Value Float(double value);
  static Value DateTime(platform::TDateTime value, Moment kind = Moment::Timestamp);

  bool IsNull() const { return std::holds_alternative<std::monostate>(data_); }
  bool IsText() const { return std::holds_alternative<std::string>(data_); }

  // Numbers in decimal with '.' and no trailing fraction zeros; dates as "DD/MM/YYYY",
  // times as "HH:MM:SS", timestamps as both separated by a space.
  std::string AsString() const;
  // Numbers with a fraction round half away from zero; text must hold a decimal integer.
  // Throws std::invalid_argument for text that is no integer and for date-times,
  // std::out_of_range when the value does not fit.
  std::int64_t AsLargeInt() const;
  std::int32_t AsInteger() const;
  // Date-times as they are (TIME with day part 0, DATE at midnight); a floating-point
  // number is taken as a date-time. Throws std::invalid_argument for other values.
  platform::TDateTime AsDateTime() const;

  bool operator==(const Value&) const = default;

 private:
  struct Scaled {
    std::int64_t unscaled;
    int scale;
    bool operator==(const Scaled&) const = default;
  };
  struct When {
    platform::TDateTime value;
    Moment kind;
    bool operator==(const When&) const = default;
  };
  friend ParamBinding BindParam(const Value& value, const XSQLVAR& described);

  std::variant<std::monostate, std::string, Scaled, double, When> data_;
};

// Firebird keeps dates as days since 17 November 1858 and times in units of 1/10,000 s.
platform::TDateTime FromIscDate(ISC_DATE date);
platform::TDateTime FromIscTime(ISC_TIME time);
platform::TDateTime FromIscTimestamp(const ISC_TIMESTAMP& timestamp);
ISC_TIMESTAMP ToIscTimestamp(platform::TDateTime value);

// The value of an output column as the client filled it (data and NULL indicator). Text
// arrives in ISO 8859-1 and becomes UTF-8; CHAR loses its padding spaces. BLOBs are not
// read here (their data is only an id): see the statement.
Value DecodeColumn(const XSQLVAR& column);

// What one input marker receives: the wire type and bytes the client sends for it.
struct ParamBinding {
  short sql_type = SQL_VARYING;  // without the nullable bit
  short scale = 0;
  short sub_type = 0;  // the character set of a text: the marker's own for a text marker
  short length = 0;  // sqllen: for VARYING the text's length, without the length prefix
  bool null = false;
  std::string data;  // what sqldata points to (VARYING: the 2-byte length, then the text)
};

// How a value goes to the server for a marker that the server described: text in
// ISO 8859-1, an empty text as NULL, a text longer than a CHAR or VARCHAR marker cut to the
// marker's length; integers as BIGINT and date-times as TIMESTAMP, DATE or TIME, which
// the server converts to the marker's type, as it does text for a marker of another type.
ParamBinding BindParam(const Value& value, const XSQLVAR& described);

}  // namespace nuvexa::firebird
