#include <gtest/gtest.h>

#include "firebird/client_library.h"
#include "firebird/connection.h"

namespace nuvexa::firebird {
namespace {

// The entries that the local connection is given, in their order.
std::vector<std::string> LocalParams(const std::string& server, const std::string& database,
                                     const std::string& password = "cobweb") {
  return {"DriverID=FB",        "Pooled=false",    "Database=" + database,   "User_Name=SYSDBA",
          "Password=" + password, "Protocol=TCPIP", "Server=" + server,      "Port=3050",
          "SQLDialect=3",       "CharacterSet=ISO8859_1", "ExtendedMetaData=False", "OpenMode=Open"};
}

TEST(ConnectionParams, ConnectionStringNamesServerPortAndDatabase) {
  struct Case { const char* why; std::vector<std::string> params; const char* expected; };
  const Case kCases[] = {
      {"the local connection's twelve entries", LocalParams("localhost", "/srv/drovana/QUORVO.FDB"),
       "localhost/3050:/srv/drovana/QUORVO.FDB"},
      {"a server address and a path with spaces", LocalParams("192.168.0.10", "/srv/a b/QUORVO.FDB"),
       "192.168.0.10/3050:/srv/a b/QUORVO.FDB"},
      {"no port: the client's default", {"Protocol=TCPIP", "Server=central", "Database=/db/central.fdb"},
       "central:/db/central.fdb"},
      {"a host/port server and no Port entry", {"Protocol=TCPIP", "Server=central/3051", "Database=/db/c.fdb"},
       "central/3051:/db/c.fdb"},
      {"names are matched without regard to case", {"protocol=tcpip", "SERVER=h", "database=/d.fdb", "PORT=1"},
       "h/1:/d.fdb"},
      {"an empty server is localhost, still over TCP/IP", LocalParams("", "/d.fdb"), "localhost/3050:/d.fdb"},
      {"a server that names its own port keeps it, without the Port entry", LocalParams("host/3051", "/d.fdb"),
       "host/3051:/d.fdb"},
      {"an empty server and no port", {"Protocol=TCPIP", "Server=", "Database=/d.fdb"}, "localhost:/d.fdb"},
      {"a non-ASCII path goes as it is", LocalParams("localhost", "/srv/Farmácia São João/QUORVO.FDB"),
       "localhost/3050:/srv/Farmácia São João/QUORVO.FDB"},
      {"another protocol leaves the database alone", {"Protocol=Local", "Server=h", "Database=/d.fdb"}, "/d.fdb"},
      {"the first of two entries counts", {"Protocol=TCPIP", "Server=a", "Server=b", "Database=/d.fdb"}, "a:/d.fdb"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ConnectionString(c.params), c.expected) << c.why;
}

TEST(ConnectionParams, ValuesAreTakenAsTheyStand) {
  const std::vector<std::string> params = LocalParams(" host ", "/d.fdb", "pa=ss word");
  EXPECT_EQ(ParamValue(params, "Password"), "pa=ss word");  // split at the first "=" only
  EXPECT_EQ(ParamValue(params, "server"), " host ");
  EXPECT_EQ(ParamValue(params, "Missing"), "");
}

TEST(ConnectionParams, DatabaseParameterBufferCarriesCredentialsCharacterSetDialectAndUtf8Names) {
  using namespace std::string_literals;
  const std::string kUtf8Flag = "\x4D\x00"s;  // isc_dpb_utf8_filename, no value
  struct Case { const char* why; std::vector<std::string> params; std::string dpb; };
  const Case kCases[] = {
      {"the local connection",
       LocalParams("localhost", "/d.fdb"),
       "\x01"s + "\x1C\x06SYSDBA"s + "\x1D\x06" "cobweb"s + "\x30\x09ISO8859_1"s + "\x3F\x04\x03\x00\x00\x00"s +
           kUtf8Flag},
      {"empty credentials are left out, a missing dialect is 3",
       {"User_Name=", "Password=", "CharacterSet=ISO8859_1"},
       "\x01"s + "\x30\x09ISO8859_1"s + "\x3F\x04\x03\x00\x00\x00"s + kUtf8Flag},
      {"dialect 1 is kept", {"SQLDialect=1"}, "\x01\x3F\x04\x01\x00\x00\x00"s + kUtf8Flag},
      {"a dialect that is no dialect is 3", {"SQLDialect=x"}, "\x01\x3F\x04\x03\x00\x00\x00"s + kUtf8Flag},
  };
  for (const auto& c : kCases) EXPECT_EQ(DatabaseParameterBuffer(c.params), c.dpb) << c.why;

  const std::string long_password(300, 'p');
  const std::string dpb = DatabaseParameterBuffer({"Password=" + long_password});
  EXPECT_EQ(dpb.substr(1, 2), "\x1D\xFF"s) << "a length byte holds at most 255";
  EXPECT_EQ(dpb.size(), 1 + 2 + 255 + 6 + 2u);
}

TEST(FirebirdClientLibrary, FileNameComesFromTheSettingTheEnvironmentOrTheDefault) {
  struct Case { const char* why; const char* vendor_lib; const char* environment; const char* expected; };
  const Case kCases[] = {
      {"nothing set", "", nullptr, kDefaultClientLibrary},
      {"the system's usual name means this platform's library", "fbclient.dll", nullptr, kDefaultClientLibrary},
      {"in any case", "FBCLIENT.DLL", nullptr, kDefaultClientLibrary},
      {"the environment overrides the default", "", "/opt/fb/libfbclient.so", "/opt/fb/libfbclient.so"},
      {"and the usual name", "fbclient.dll", "/opt/fb/libfbclient.so", "/opt/fb/libfbclient.so"},
      {"an empty environment variable counts as unset", "", "", kDefaultClientLibrary},
      {"a name the caller gives wins", "libgds.so", "/opt/fb/libfbclient.so", "libgds.so"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ClientLibraryFileName(c.vendor_lib, c.environment), c.expected) << c.why;
}

}  // namespace
}  // namespace nuvexa::firebird
