#include "firebird/firebird_error.h"

#include <iberror.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "firebird/client_library.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {
namespace {

constexpr std::size_t kMessageBufferSize = 513;

std::vector<std::string> InterpretedLines(ClientLibrary& library, const ISC_STATUS* status) {
  std::vector<std::string> lines;
  std::array<char, kMessageBufferSize> buffer{};
  if (library.fb_interpret != nullptr && library.MajorVersion() >= 2) {
    const ISC_STATUS* cursor = status;
    while (library.fb_interpret(buffer.data(), buffer.size(), &cursor) > 0) lines.emplace_back(buffer.data());
  } else {
    // isc_interprete advances a writable pointer and knows no buffer size: give it a copy
    std::array<ISC_STATUS, ISC_STATUS_LENGTH> copy{};
    std::copy_n(status, copy.size(), copy.begin());
    ISC_STATUS* cursor = copy.data();
    while (library.isc_interprete(buffer.data(), &cursor) > 0) lines.emplace_back(buffer.data());
  }
  return lines;
}

std::optional<std::string> SqlCodeLine(ClientLibrary& library, const ISC_STATUS* status) {
  const ISC_LONG sql_code = library.isc_sqlcode(status);
  if (sql_code == 0 || sql_code == -999) return std::nullopt;
  std::array<char, kMessageBufferSize> buffer{};
  library.isc_sql_interprete(static_cast<short>(sql_code), buffer.data(), static_cast<short>(buffer.size()));
  return std::string(buffer.data());
}

}  // namespace

FirebirdError::FirebirdError(std::string_view text)
    : std::runtime_error(std::string(kMessagePrefix) + std::string(text)) {}

FirebirdError::FirebirdError(const std::string& message, ISC_STATUS code, std::string sql_state,
                             std::vector<ISC_STATUS> codes)
    : std::runtime_error(message), code_(code), sql_state_(std::move(sql_state)), codes_(std::move(codes)) {}

FirebirdError FirebirdError::FromStatus(ClientLibrary& library, const ISC_STATUS* status) {
  std::array<char, FB_SQLSTATE_SIZE> sql_state{};
  if (library.fb_sqlstate != nullptr) library.fb_sqlstate(sql_state.data(), status);
  return FirebirdError(FormatErrorMessage(InterpretedLines(library, status), SqlCodeLine(library, status)), status[1],
                       sql_state.data(), ErrorCodes(status));
}

bool FirebirdError::ConnectionLost() const { return IsConnectionLost(codes_); }

bool IsErrorStatus(const ISC_STATUS* status) {
  const ISC_STATUS code = status[1];
  return code != 0 && (static_cast<std::uint32_t>(code) >> 30) == 0;
}

std::vector<ISC_STATUS> ErrorCodes(const ISC_STATUS* status) {
  std::vector<ISC_STATUS> codes;
  std::size_t i = 0;
  // the classic vector has ISC_STATUS_LENGTH entries; never read past them
  while (i + 1 < ISC_STATUS_LENGTH) {
    const ISC_STATUS kind = status[i];
    if (kind == isc_arg_end || kind == isc_arg_warning) break;
    if (kind == isc_arg_gds) codes.push_back(status[i + 1]);
    i += kind == isc_arg_cstring ? 3 : 2;
  }
  return codes;
}

bool IsConnectionLost(const std::vector<ISC_STATUS>& codes) {
  static constexpr ISC_STATUS kLost[] = {
      isc_network_error, isc_net_read_err,  isc_net_write_err, isc_lost_db_connection,
      isc_conn_lost,     isc_shutdown,      isc_att_shutdown,  isc_net_server_shutdown,
  };
  return std::any_of(codes.begin(), codes.end(), [](ISC_STATUS code) {
    return std::find(std::begin(kLost), std::end(kLost), code) != std::end(kLost);
  });
}

std::string FormatErrorMessage(const std::vector<std::string>& interpreted_lines,
                               const std::optional<std::string>& sql_code_line) {
  std::string text;
  auto add_line = [&text, first = true](const std::string& line) mutable {
    if (!first) text += "\r\n";
    text += line;
    first = false;
  };
  for (const std::string& line : interpreted_lines) add_line(line);
  if (sql_code_line) add_line(*sql_code_line);
  return std::string(kMessagePrefix) + platform::ToUtf8(text, platform::CodePage::Iso8859_1);
}

void CheckStatus(ClientLibrary& library, const ISC_STATUS* status) {
  if (IsErrorStatus(status)) throw FirebirdError::FromStatus(library, status);
}

}  // namespace nuvexa::firebird
