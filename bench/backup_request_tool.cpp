// Asks the local Firebird server for one online backup through the Services API, with the
// request the backup jobs make, so that a benchmark can time it beside
// `gbak -b -se localhost:service_mgr`. The server writes the backup file.
//
//   nuvexa_backup_request <database> <backup file>   (both paths as the server sees them)

#include <cstdio>
#include <exception>

#include "backup/service_request.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: nuvexa_backup_request <database> <backup file>\n");
    return 2;
  }
  try {
    // as RunBackupJob fills it for a local server and the service's first local password
    nuvexa::backup::TFDIBBackup request;
    request.VendorLib = "fbclient.dll";
    request.UserName = "SYSDBA";
    request.Password = "cobweb";
    request.Host = "localhost";
    request.Database = argv[1];
    request.Protocol = nuvexa::backup::TIBProtocol::ipTCPIP;
    request.BackupFiles = {argv[2]};
    request.Backup();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_backup_request: %s\n", e.what());
    return 1;
  }
}
