#include "firebird/sql_value.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nuvexa::firebird {
namespace {

using namespace std::string_literals;
using platform::TDateTime;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return platform::EncodeDateTime({y, mo, d}, {h, mi, s, ms});
}

// A column as the client fills it: its type, length, scale, the bytes it points to and its
// NULL indicator.
struct FakeColumn {
  FakeColumn(short type, std::string bytes, short length, short scale = 0, bool null = false)
      : data(std::move(bytes)), indicator(null ? -1 : 0) {
    std::memset(&var, 0, sizeof var);
    var.sqltype = static_cast<short>(type | 1);
    var.sqllen = length;
    var.sqlscale = scale;
    var.sqldata = data.data();
    var.sqlind = &indicator;
    std::memcpy(var.aliasname, "COL", 3);
    var.aliasname_length = 3;
  }
  std::string data;
  short indicator;
  XSQLVAR var;
};

template <typename T>
std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

TEST(FirebirdValue, IscDatesAndTimesConvertBothWays) {
  struct Case { const char* why; ISC_DATE date; ISC_TIME time; TDateTime value; };
  const Case kCases[] = {
      {"the system's day 0", 15018, 0, 0.0},
      {"Firebird's day 0", 0, 0, At(1858, 11, 17)},
      {"a leap day at noon", 51603, 432'000'000, At(2000, 2, 29, 12)},
      {"milliseconds survive", 60919, 863'999'990, At(2025, 9, 1, 23, 59, 59, 999)},
      {"before day 0 the time counts away from zero", 15017, 216'000'000, -1.25},
  };
  for (const auto& c : kCases) {
    EXPECT_DOUBLE_EQ(FromIscTimestamp({c.date, c.time}), c.value) << c.why;
    const ISC_TIMESTAMP back = ToIscTimestamp(c.value);
    EXPECT_EQ(back.timestamp_date, c.date) << c.why;
    EXPECT_EQ(back.timestamp_time, c.time) << c.why;
  }
  EXPECT_DOUBLE_EQ(FromIscTime(45'296'789), platform::EncodeTime(1, 15, 29, 678)) << "1/10,000 s below 1 ms drop";
  EXPECT_DOUBLE_EQ(FromIscDate(15019), 1.0);
}

TEST(FirebirdValue, ColumnsDecodeAsTheDataLayerGivesThem) {
  struct Case { const char* why; FakeColumn column; std::string text; bool null; };
  const ISC_TIMESTAMP noon{51603, 432'000'000};
  const Case kCases[] = {
      {"CHAR loses its padding", {SQL_TEXT, "Y   ", 4}, "Y", false},
      {"CHAR keeps leading spaces", {SQL_TEXT, "  a b  ", 7}, "  a b", false},
      {"blank CHAR reads as empty", {SQL_TEXT, "    ", 4}, "", false},
      {"CHAR in ISO 8859-1", {SQL_TEXT, "a\xE7\xE3o ", 5}, "a\xC3\xA7\xC3\xA3o", false},
      {"VARCHAR keeps its trailing spaces", {SQL_VARYING, Bytes<ISC_USHORT>(3) + "ab  xx", 6}, "ab ", false},
      {"VARCHAR in ISO 8859-1", {SQL_VARYING, Bytes<ISC_USHORT>(4) + "S\xD3" "DI", 10}, "S\xC3\x93" "DI", false},
      {"SMALLINT", {SQL_SHORT, Bytes<ISC_SHORT>(-7), 2}, "-7", false},
      {"INTEGER", {SQL_LONG, Bytes<ISC_LONG>(360), 4}, "360", false},
      {"BIGINT", {SQL_INT64, Bytes<ISC_INT64>(3'000'000'000'000LL), 8}, "3000000000000", false},
      {"NUMERIC(15,2)", {SQL_INT64, Bytes<ISC_INT64>(1250), 8, -2}, "12.5", false},
      {"NUMERIC(9,3) below one", {SQL_LONG, Bytes<ISC_LONG>(-5), 4, -3}, "-0.005", false},
      {"NUMERIC with a whole value", {SQL_LONG, Bytes<ISC_LONG>(300), 4, -2}, "3", false},
      {"DOUBLE PRECISION", {SQL_DOUBLE, Bytes(0.25), 8}, "0.25", false},
      {"TIMESTAMP", {SQL_TIMESTAMP, Bytes(noon), 8}, "29/02/2000 12:00:00", false},
      {"DATE", {SQL_TYPE_DATE, Bytes<ISC_DATE>(51603), 4}, "29/02/2000", false},
      {"TIME", {SQL_TYPE_TIME, Bytes<ISC_TIME>(450'000'000), 4}, "12:30:00", false},
      {"NULL whatever the bytes", {SQL_LONG, Bytes<ISC_LONG>(360), 4, 0, true}, "", true},
  };
  for (const auto& c : kCases) {
    const Value value = DecodeColumn(c.column.var);
    EXPECT_EQ(value.AsString(), c.text) << c.why;
    EXPECT_EQ(value.IsNull(), c.null) << c.why;
  }
}

TEST(FirebirdValue, NullReadsAsEmptyZeroAndTheZeroDate) {
  const Value null;
  EXPECT_EQ(null.AsString(), "");
  EXPECT_EQ(null.AsInteger(), 0);
  EXPECT_EQ(null.AsDateTime(), 0.0);
}

TEST(FirebirdValue, IntegerReadings) {
  struct Case { const char* why; Value value; std::int64_t expected; };
  const Case kCases[] = {
      {"an integer", Value::Integer(360), 360},
      {"numeric text", Value::Text("  -42 "), -42},
      {"numeric text with a plus sign", Value::Text("+7"), 7},
      {"NUMERIC rounds half away from zero", Value::Integer(1250, -2), 13},
      {"negative NUMERIC too", Value::Integer(-1250, -2), -13},
      {"NUMERIC below half", Value::Integer(1249, -2), 12},
      {"a double rounds", Value::Float(2.5), 3},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.value.AsLargeInt(), c.expected) << c.why;

  EXPECT_THROW(Value::Text("True").AsInteger(), std::invalid_argument);
  EXPECT_THROW(Value::Text("12abc").AsInteger(), std::invalid_argument);
  EXPECT_THROW(Value::Text("99999999999999999999").AsLargeInt(), std::out_of_range);
  EXPECT_THROW(Value::Integer(3'000'000'000LL).AsInteger(), std::out_of_range);
  EXPECT_EQ(Value::Integer(3'000'000'000LL).AsLargeInt(), 3'000'000'000LL);
  EXPECT_THROW(Value::DateTime(1.5).AsInteger(), std::invalid_argument);
  EXPECT_THROW(Value::Text("x").AsDateTime(), std::invalid_argument);
}

// A marker as the server describes it.
XSQLVAR Marker(short type, short length) {
  XSQLVAR var;
  std::memset(&var, 0, sizeof var);
  var.sqltype = static_cast<short>(type | 1);
  var.sqllen = length;
  var.sqlsubtype = 21;  // the connection's ISO8859_1
  return var;
}

TEST(FirebirdValue, ParametersBindAsTheServerTakesThem) {
  struct Case {
    const char* why;
    Value value;
    XSQLVAR marker;
    short sql_type;
    short length;
    bool null;
    std::string data;
  };
  const ISC_TIMESTAMP noon{51603, 432'000'000};
  const Case kCases[] = {
      {"text in ISO 8859-1", Value::Text("a\xC3\xA7\xC3\xA3o"), Marker(SQL_VARYING, 10), SQL_VARYING, 4, false,
       "\x04\x00" "a\xE7\xE3o"s},
      {"text longer than a VARCHAR is cut to its length", Value::Text("abcdefgh"), Marker(SQL_VARYING, 5),
       SQL_VARYING, 5, false, "\x05\x00" "abcde"s},
      {"the cut counts characters, not UTF-8 bytes", Value::Text("\xC3\xA7\xC3\xA7\xC3\xA7"), Marker(SQL_TEXT, 2),
       SQL_VARYING, 2, false, "\x02\x00\xE7\xE7"s},
      {"text for a number is left for the server to convert", Value::Text("123456"), Marker(SQL_SHORT, 2),
       SQL_VARYING, 6, false, "\x06\x00" "123456"s},
      {"an empty text is NULL", Value::Text(""), Marker(SQL_VARYING, 10), SQL_VARYING, 0, true, "\x00\x00"s},
      {"NULL", Value::Null(), Marker(SQL_LONG, 4), SQL_VARYING, 0, true, "\x00\x00"s},
      {"an integer goes as BIGINT", Value::Integer(-2), Marker(SQL_LONG, 4), SQL_INT64, 8, false,
       Bytes<ISC_INT64>(-2)},
      {"a date-time goes as TIMESTAMP", Value::DateTime(At(2000, 2, 29, 12)), Marker(SQL_TIMESTAMP, 8),
       SQL_TIMESTAMP, 8, false, Bytes(noon)},
      {"a time goes as TIME", Value::DateTime(platform::EncodeTime(12, 0, 0, 0), Value::Moment::Time),
       Marker(SQL_TYPE_TIME, 4), SQL_TYPE_TIME, 4, false, Bytes<ISC_TIME>(432'000'000)},
  };
  for (const auto& c : kCases) {
    const ParamBinding binding = BindParam(c.value, c.marker);
    EXPECT_EQ(binding.sql_type, c.sql_type) << c.why;
    EXPECT_EQ(binding.length, c.length) << c.why;
    EXPECT_EQ(binding.null, c.null) << c.why;
    EXPECT_EQ(binding.data, c.data) << c.why;
  }
  EXPECT_EQ(BindParam(Value::Text("x"), Marker(SQL_VARYING, 5)).sub_type, 21) << "a text marker's character set";
  EXPECT_EQ(BindParam(Value::Text("1"), Marker(SQL_LONG, 4)).sub_type, 0) << "no character set for a number";
}

}  // namespace
}  // namespace nuvexa::firebird
