#include "central/central_connection.h"

#include <cstdlib>

namespace nuvexa::central {
namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

CentralServer CentralServerFromEnvironment() {
  return {FromEnvironment("NUVEXA_CENTRAL_SERVER", "central.tarviosystem.com.br"),
          FromEnvironment("NUVEXA_CENTRAL_DATABASE", "/firebird/dados/TARVIOSYSTEM.FDB"),
          FromEnvironment("NUVEXA_CENTRAL_PASSWORD", "Rm54tq8W")};
}

std::vector<std::string> CentralConnectionParams(const CentralServer& central) {
  return {"DriverID=FB",
          "Protocol=TCPIP",
          "Server=" + central.server,
          "Database=" + central.database,
          "User_Name=SYSDBA",
          "Password=" + central.password,
          "CharacterSet=ISO8859_1"};
}

}  // namespace nuvexa::central
