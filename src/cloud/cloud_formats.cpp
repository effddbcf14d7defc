#include "cloud/cloud_formats.h"

#include <charconv>
#include <stdexcept>

#include "cloud/cloud_error.h"

namespace nuvexa::cloud {
namespace {

TByteStringFormat UnitFor(std::uint64_t bytes) {
  if (bytes < OneKB) return TByteStringFormat::bsfBytes;
  if (bytes < OneMB) return TByteStringFormat::bsfKB;
  if (bytes < OneGB) return TByteStringFormat::bsfMB;
  if (bytes < OneTB) return TByteStringFormat::bsfGB;
  return TByteStringFormat::bsfTB;
}

// One decimal place, the whole part grouped in thousands.
std::string WithOneDecimal(double value, const platform::NumberSeparators& separators) {
  char digits[400];
  // to_chars ignores the C locale, so the separators below are the only ones in the text.
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 1);
  if (error != std::errc()) throw CloudError("number too large to format");
  const std::string_view text(digits, static_cast<std::size_t>(end - digits));
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  std::string out;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += separators.thousands;
    out += whole[i];
  }
  return out + separators.decimal + std::string(text.substr(point + 1));
}

int Field(std::string_view text, std::size_t first, std::size_t length) {
  int value = 0;
  if (first + length > text.size()) throw std::invalid_argument("short");
  const char* begin = text.data() + first;
  const auto [end, error] = std::from_chars(begin, begin + length, value);
  if (error != std::errc() || end != begin + length) throw std::invalid_argument("not a number");
  return value;
}

}  // namespace

std::string FormatByteString(std::uint64_t bytes, TByteStringFormat format,
                             const platform::NumberSeparators& separators) {
  if (format == TByteStringFormat::bsfDefault) format = UnitFor(bytes);
  const double count = static_cast<double>(bytes);
  switch (format) {
    case TByteStringFormat::bsfKB:
      return WithOneDecimal(count / static_cast<double>(OneKB), separators) + " KB";
    case TByteStringFormat::bsfMB:
      return WithOneDecimal(count / static_cast<double>(OneMB), separators) + " MB";
    case TByteStringFormat::bsfGB:
      return WithOneDecimal(count / static_cast<double>(OneGB), separators) + " GB";
    case TByteStringFormat::bsfTB:
      return WithOneDecimal(count / static_cast<double>(OneTB), separators) + " TB";
    default:
      return std::to_string(bytes) + " bytes";
  }
}

std::string FormatByteString(std::uint64_t bytes, TByteStringFormat format) {
  return FormatByteString(bytes, format, platform::LocaleNumberSeparators());
}

platform::TDateTime FormatDataHora(std::string_view DataHora) {
  try {
    return platform::EncodeDateTime({Field(DataHora, 0, 4), Field(DataHora, 5, 2), Field(DataHora, 8, 2)},
                                    {Field(DataHora, 11, 2), Field(DataHora, 14, 2), Field(DataHora, 17, 2), 0});
  } catch (const std::invalid_argument&) {
    throw CloudError("'" + std::string(DataHora) + "' is not a valid date and time");
  }
}

}  // namespace nuvexa::cloud
