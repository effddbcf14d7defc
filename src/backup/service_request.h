#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvexa::backup {

// How the client reaches the server's service manager.
enum class TIBProtocol { ipLocal = 0, ipTCPIP = 1, ipNetBEUI = 2, ipSPX = 3 };

// The service manager's name: "host:service_mgr" over TCP/IP ("host/port:service_mgr" with a
// port). The host is taken as it is, even when empty.
std::string ServiceManagerName(std::string_view host, TIBProtocol protocol, int port);

// The service parameter block that attaches to the service manager: the version bytes, the
// user name and the password when they are not empty (one-byte lengths), then
// isc_spb_utf8_filename: every text of this block and of the requests started on the
// attachment is UTF-8, so the client and the server take the paths as the file system
// holds them, whatever the process's locale.
std::string AttachBuffer(std::string_view user_name, std::string_view password);

// The start block of a backup: the action, the database, and one backup file item per
// non-blank line of `backup_files` ("path" or "path=length"), with two-byte lengths. Texts
// are UTF-8 and go unchanged.
std::string BackupStartBuffer(std::string_view database, const std::vector<std::string>& backup_files,
                              bool verbose, std::uint32_t options);

// One online backup through the server's Services API: the server reads the database and
// writes the backup file in its own file system; Backup() returns when the server is done.
class TFDIBBackup {
 public:
  std::string VendorLib;  // the client library, as the driver link names it
  std::string Host;
  TIBProtocol Protocol = TIBProtocol::ipLocal;
  int Port = 0;
  std::string UserName;
  std::string Password;
  std::string Database;
  std::vector<std::string> BackupFiles;
  bool Verbose = false;
  std::uint32_t Options = 0;
  // Lines the server reports while it works (UTF-8); nothing needs them, so unset by default.
  std::function<void(const std::string& line)> OnProgress;

  // Throws firebird::FirebirdError when the client library reports an error.
  void Backup();
};

}  // namespace nuvexa::backup
