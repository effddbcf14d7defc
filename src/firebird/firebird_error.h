#pragma once

#include <ibase.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nuvexa::firebird {

class ClientLibrary;

// Every error of the Firebird client layer: the message exactly as the log shows it.
class FirebirdError : public std::runtime_error {
 public:
  // An error found by this layer itself (no status vector): the message after the prefix.
  explicit FirebirdError(std::string_view text);
  FirebirdError(const std::string& message, ISC_STATUS code, std::string sql_state,
                std::vector<ISC_STATUS> codes);

  // Built from an error status vector with the client library's message functions.
  static FirebirdError FromStatus(ClientLibrary& library, const ISC_STATUS* status);

  // The first error code of the vector; 0 for an error of this layer.
  ISC_STATUS ErrorCode() const { return code_; }
  const std::string& SqlState() const { return sql_state_; }
  // The connection to the server is gone (server down or restarted, network failure,
  // attachment shut down or killed): reconnecting may help.
  bool ConnectionLost() const;

 private:
  ISC_STATUS code_ = 0;
  std::string sql_state_;
  std::vector<ISC_STATUS> codes_;  // every error code of the vector, in order
};

// The prefix that every Firebird message of the system carries.
inline constexpr std::string_view kMessagePrefix = "[FireDAC][Phys][FB]";

// Whether a call's status vector reports an error: a non-zero status whose two top bits
// are clear. Warnings (severity bits set, or a zero status followed by isc_arg_warning)
// are not errors.
bool IsErrorStatus(const ISC_STATUS* status);

// The error codes (isc_arg_gds items) of a status vector, in order.
std::vector<ISC_STATUS> ErrorCodes(const ISC_STATUS* status);

// Whether any of these codes means that the attachment is lost.
bool IsConnectionLost(const std::vector<ISC_STATUS>& codes);

// The logged message: the prefix, then the interpreted lines and, when the status carries a
// SQL code, that code's text as one more line, joined by CR LF. The lines arrive as the
// client gives them (ISO 8859-1); the result is UTF-8.
std::string FormatErrorMessage(const std::vector<std::string>& interpreted_lines,
                               const std::optional<std::string>& sql_code_line);

// Throws FirebirdError when `status` is an error status; warnings pass.
void CheckStatus(ClientLibrary& library, const ISC_STATUS* status);

}  // namespace nuvexa::firebird
