// The parts of a Firebird error that need no client library: the walk over the status
// vector's items and the logged message. Turning the items into text (fb_interpret) is the
// client library's own code, which this does not load.
//
// Input: one byte whose low five bits count the vector's longs (19 at most, the last of the
// client's 20 always being isc_arg_end) and whose top bit says whether a SQL code line
// follows the others; the longs, in host order; then the interpreted lines, one per '\n'.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firebird/firebird_error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nuvexa::firebird;
  if (size == 0) return 0;
  const std::uint8_t header = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  // exactly the client's length on the heap, so that a read past it is caught
  std::vector<ISC_STATUS> status(ISC_STATUS_LENGTH, isc_arg_end);
  const std::size_t longs =
      std::min<std::size_t>({header & 0x1Fu, ISC_STATUS_LENGTH - 1, rest.size() / sizeof(ISC_STATUS)});
  std::memcpy(status.data(), rest.data(), longs * sizeof(ISC_STATUS));
  rest.remove_prefix(longs * sizeof(ISC_STATUS));

  IsErrorStatus(status.data());
  const std::vector<ISC_STATUS> codes = ErrorCodes(status.data());
  // each code takes two entries of the vector at least
  if (codes.size() > ISC_STATUS_LENGTH / 2) __builtin_trap();
  IsConnectionLost(codes);

  std::vector<std::string> lines;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  std::optional<std::string> sql_code_line;
  if ((header & 0x80u) != 0 && !lines.empty()) {
    sql_code_line = std::move(lines.back());
    lines.pop_back();
  }
  const std::string message = FormatErrorMessage(lines, sql_code_line);
  if (!message.starts_with(kMessagePrefix)) __builtin_trap();
  return 0;
}
