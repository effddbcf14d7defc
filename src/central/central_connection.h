#pragma once

#include <string>
#include <vector>

#include "firebird/connection.h"

namespace nuvexa::central {

// Where the maker's central database lives. Fixed for the life of the process: the
// deployment may point it elsewhere through the environment, nothing at run time does.
struct CentralServer {
  std::string server;    // Firebird host syntax; "host/port" names a port
  std::string database;  // the path on that server
  std::string password;  // SYSDBA's
};

// $NUVEXA_CENTRAL_SERVER, $NUVEXA_CENTRAL_DATABASE and $NUVEXA_CENTRAL_PASSWORD, each over
// the built-in value.
CentralServer CentralServerFromEnvironment();

// The central connection's parameter list: TCP/IP, SYSDBA, ISO 8859-1, the client's
// default port unless the server names one.
std::vector<std::string> CentralConnectionParams(const CentralServer& central);

// Closes the connection when the use ends, however it ends: the central connection is
// never kept open between uses.
class ClosesOnExit {
 public:
  explicit ClosesOnExit(firebird::Connection& connection) : connection_(connection) {}
  ClosesOnExit(const ClosesOnExit&) = delete;
  ClosesOnExit& operator=(const ClosesOnExit&) = delete;
  ~ClosesOnExit() { connection_.Close(); }

 private:
  firebird::Connection& connection_;
};

}  // namespace nuvexa::central
