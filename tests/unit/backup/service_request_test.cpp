#include "backup/service_request.h"

#include <gtest/gtest.h>

#include <string>

namespace nuvexa::backup {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(ServiceRequest, ServiceManagerName) {
  struct Case { const char* host; TIBProtocol protocol; int port; const char* name; };
  const Case kCases[] = {
      {"localhost", TIBProtocol::ipTCPIP, 0, "localhost:service_mgr"},
      {"", TIBProtocol::ipTCPIP, 0, ":service_mgr"},
      {"10.0.0.5", TIBProtocol::ipTCPIP, 3051, "10.0.0.5/3051:service_mgr"},
      {"ignored", TIBProtocol::ipLocal, 0, "service_mgr"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ServiceManagerName(c.host, c.protocol, c.port), c.name) << c.host;
}

TEST(ServiceRequest, AttachBufferCarriesOnlyWhatIsSetAndSaysItsTextsAreUtf8) {
  const std::string kUtf8Flag = Bytes({118, 0});  // isc_spb_utf8_filename, no value
  struct Case { const char* why; std::string user, password, expected; };
  const Case kCases[] = {
      {"user without password", "SYSDBA", "", Bytes({2, 2, 28, 6}) + "SYSDBA" + kUtf8Flag},
      {"neither", "", "", Bytes({2, 2}) + kUtf8Flag},
      {"both", "SYSDBA", "cobweb", Bytes({2, 2, 28, 6}) + "SYSDBA" + Bytes({29, 6}) + "cobweb" + kUtf8Flag},
      {"password alone", "", "x", Bytes({2, 2, 29, 1}) + "x" + kUtf8Flag},
      {"UTF-8 bytes as given", "joão", "", Bytes({2, 2, 28, 5}) + "jo\xC3\xA3o" + kUtf8Flag},
      {"cut to 255 bytes", std::string(300, 'u'), "", Bytes({2, 2, 28, 255}) + std::string(255, 'u') + kUtf8Flag},
  };
  for (const auto& c : kCases) EXPECT_EQ(AttachBuffer(c.user, c.password), c.expected) << c.why;
}

TEST(ServiceRequest, StartBufferSendsPathsWholeWithTwoByteLengths) {
  const std::string database(300, 'd');
  EXPECT_EQ(BackupStartBuffer(database, {"/b/x.fbk"}, false, 0),
            Bytes({1, 106, 0x2C, 0x01}) + database + Bytes({5, 8, 0}) + "/b/x.fbk");

  struct Case { const char* why; std::vector<std::string> files; bool verbose; std::uint32_t options; std::string tail; };
  const Case kCases[] = {
      {"blank lines are skipped", {"  ", "/a.fbk", ""}, false, 0, Bytes({5, 6, 0}) + "/a.fbk"},
      {"a length after '='", {"/a.fbk=2048"}, false, 0, Bytes({5, 6, 0}) + "/a.fbk" + Bytes({7, 0x00, 0x08, 0, 0})},
      {"verbose and options only when asked", {"/a"}, true, 0x20, Bytes({5, 2, 0}) + "/a" + Bytes({107, 108, 0x20, 0, 0, 0})},
      {"a path goes as the file system's UTF-8 bytes", {"/Farmácia São João/a.fbk"}, false, 0,
       Bytes({5, 27, 0}) + "/Farm\xC3\xA1" "cia S\xC3\xA3o Jo\xC3\xA3o/a.fbk"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(BackupStartBuffer("db", c.files, c.verbose, c.options), Bytes({1, 106, 2, 0}) + "db" + c.tail) << c.why;
}

}  // namespace
}  // namespace nuvexa::backup
