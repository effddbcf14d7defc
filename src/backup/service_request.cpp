#include "backup/service_request.h"

#include <ibase.h>

#include <algorithm>
#include <exception>
#include <string>

#include "firebird/client_library.h"
#include "firebird/firebird_error.h"
#include "platform/code_page.h"

namespace nuvexa::backup {
namespace {

// Texts go as they are: the attachment says they are UTF-8 (isc_spb_utf8_filename), and a
// path must reach the server as the bytes the file system holds.
void AppendString8(std::string& buffer, char tag, std::string_view utf8) {
  const std::size_t length = std::min<std::size_t>(utf8.size(), 255);
  buffer.push_back(tag);
  buffer.push_back(static_cast<char>(length));
  buffer.append(utf8.substr(0, length));
}

void AppendString16(std::string& buffer, char tag, std::string_view utf8) {
  const std::size_t length = std::min<std::size_t>(utf8.size(), 65535);
  buffer.push_back(tag);
  buffer.push_back(static_cast<char>(length & 0xFF));
  buffer.push_back(static_cast<char>((length >> 8) & 0xFF));
  buffer.append(utf8.substr(0, length));
}

void AppendNumber(std::string& buffer, char tag, std::uint32_t value) {
  buffer.push_back(tag);
  for (int i = 0; i < 4; ++i) buffer.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// The service handle, detached when it goes; Detach() reports what the destructor cannot.
class ServiceAttachment {
 public:
  ServiceAttachment(firebird::ClientLibrary& library, const std::string& name, const std::string& spb)
      : library_(library) {
    ISC_STATUS_ARRAY status{};
    {
      auto lock = library_.LockForAttach();
      // the client's first attachment fixes the code set it converts names from (see DatabaseHandle)
      const platform::Utf8CodeSetScope utf8_names;
      library_.isc_service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(), &handle_,
                                  static_cast<unsigned short>(spb.size()), spb.data());
    }
    if (firebird::IsErrorStatus(status)) {
      handle_ = 0;
      throw firebird::FirebirdError::FromStatus(library_, status);
    }
  }
  ServiceAttachment(const ServiceAttachment&) = delete;
  ServiceAttachment& operator=(const ServiceAttachment&) = delete;
  ~ServiceAttachment() {
    try {
      Detach();
    } catch (...) {
      // already unwinding from the error that matters
    }
  }

  isc_svc_handle* Handle() { return &handle_; }

  void Detach() {
    if (handle_ == 0) return;
    ISC_STATUS_ARRAY status{};
    {
      auto lock = library_.LockForAttach();
      library_.isc_service_detach(status, &handle_);
    }
    handle_ = 0;
    firebird::CheckStatus(library_, status);
  }

 private:
  firebird::ClientLibrary& library_;
  isc_svc_handle handle_ = 0;
};

// Waits for the end of the service: each query blocks in the server until it has output or
// has finished; an empty line means finished.
void WaitForServiceEnd(firebird::ClientLibrary& library, isc_svc_handle* handle,
                       const std::function<void(const std::string&)>& on_progress) {
  const char request[] = {isc_info_svc_line};
  char result[1024];
  for (;;) {
    ISC_STATUS_ARRAY status{};
    library.isc_service_query(status, handle, nullptr, 0, nullptr, sizeof request, request, sizeof result, result);
    firebird::CheckStatus(library, status);
    const char tag = result[0];
    if (tag == isc_info_svc_running) continue;
    if (tag != isc_info_svc_line) return;
    const auto length = static_cast<unsigned short>(library.isc_vax_integer(result + 1, 2));
    if (length == 0) return;
    const std::size_t usable = std::min<std::size_t>(length, sizeof result - 3);
    // a UTF-8 attachment gets its lines in UTF-8 too
    if (on_progress) on_progress(platform::ReplaceInvalidUtf8(std::string_view(result + 3, usable)));
  }
}

}  // namespace

std::string ServiceManagerName(std::string_view host, TIBProtocol protocol, int port) {
  const std::string h(host);
  const std::string port_suffix = port != 0 ? "/" + std::to_string(port) : "";
  switch (protocol) {
    case TIBProtocol::ipTCPIP: return h + port_suffix + ":service_mgr";
    case TIBProtocol::ipNetBEUI: return "\\\\" + h + "\\service_mgr";
    case TIBProtocol::ipSPX: return h + "@service_mgr";
    case TIBProtocol::ipLocal: break;
  }
  return "service_mgr";
}

std::string AttachBuffer(std::string_view user_name, std::string_view password) {
  std::string spb{static_cast<char>(isc_spb_version), static_cast<char>(isc_spb_current_version)};
  if (!user_name.empty()) AppendString8(spb, isc_spb_user_name, user_name);
  if (!password.empty()) AppendString8(spb, isc_spb_password, password);
  // a flag: no value, length zero
  spb.push_back(static_cast<char>(isc_spb_utf8_filename));
  spb.push_back(0);
  return spb;
}

std::string BackupStartBuffer(std::string_view database, const std::vector<std::string>& backup_files,
                              bool verbose, std::uint32_t options) {
  std::string spb{static_cast<char>(isc_action_svc_backup)};
  AppendString16(spb, isc_spb_dbname, database);
  for (const std::string& line : backup_files) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty()) continue;
    const auto equals = trimmed.find('=');
    AppendString16(spb, isc_spb_bkp_file, trimmed.substr(0, equals));
    if (equals != std::string_view::npos && equals + 1 < trimmed.size()) {
      const std::string value(Trim(trimmed.substr(equals + 1)));
      AppendNumber(spb, isc_spb_bkp_length, static_cast<std::uint32_t>(std::stoul(value)));
    }
  }
  if (verbose) spb.push_back(static_cast<char>(isc_spb_verbose));
  if (options != 0) AppendNumber(spb, isc_spb_options, options);
  return spb;
}

void TFDIBBackup::Backup() {
  const auto library = firebird::ClientLibrary::Load(VendorLib);
  ServiceAttachment service(*library, ServiceManagerName(Host, Protocol, Port), AttachBuffer(UserName, Password));
  try {
    const std::string start = BackupStartBuffer(Database, BackupFiles, Verbose, Options);
    ISC_STATUS_ARRAY status{};
    library->isc_service_start(status, service.Handle(), nullptr, static_cast<unsigned short>(start.size()),
                               start.data());
    firebird::CheckStatus(*library, status);
    WaitForServiceEnd(*library, service.Handle(), OnProgress);
  } catch (...) {
    // the detach still runs; when it fails too, its error is the one the caller sees
    service.Detach();
    throw;
  }
  service.Detach();
}

}  // namespace nuvexa::backup
