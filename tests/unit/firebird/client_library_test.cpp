#include "firebird/client_library.h"

#include <gtest/gtest.h>

#include "firebird/connection.h"
#include "firebird/firebird_error.h"

namespace nuvexa::firebird {
namespace {

TEST(FirebirdClientLibrary, AMissingLibraryOrEntryPointIsAClearError) {
  struct Case { const char* why; const char* vendor_lib; const char* message; const char* reason; };
#ifdef _WIN32
  // the loader's reasons are the system's texts, in its language
  const Case kCases[] = {
      {"no such file", "nuvexa-no-such-client.dll",
       "[FireDAC][Phys][FB]Cannot load vendor library [nuvexa-no-such-client.dll]. ", nullptr},
      {"a library that is no Firebird client", "kernel32.dll",
       "[FireDAC][Phys][FB]Cannot get vendor library entry point [isc_attach_database] in [kernel32.dll]. ", nullptr},
  };
#else
  const Case kCases[] = {
      {"no such file", "libnuvexa-no-such-client.so.9",
       "[FireDAC][Phys][FB]Cannot load vendor library [libnuvexa-no-such-client.so.9]. ",
       "cannot open shared object file"},
      {"a library that is no Firebird client", "libz.so.1",
       "[FireDAC][Phys][FB]Cannot get vendor library entry point [isc_attach_database] in [libz.so.1]. ",
       "undefined symbol: isc_attach_database"},
  };
#endif
  for (const auto& c : kCases) {
    Connection connection;
    connection.SetVendorLib(c.vendor_lib);
    connection.Params() = {"Database=/nowhere.fdb"};
    try {
      connection.Open();
      ADD_FAILURE() << c.why << ": nothing was raised";
    } catch (const FirebirdError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(c.message, 0), 0u) << c.why << ": " << message;
      if (c.reason != nullptr) {
        EXPECT_NE(message.find(c.reason), std::string::npos) << c.why << ", the loader's reason: " << message;
      } else {
        EXPECT_GT(message.size(), std::string(c.message).size() + 1) << c.why << ", the loader's reason: " << message;
      }
    }
    EXPECT_FALSE(connection.Connected()) << c.why;
  }
}

TEST(FirebirdClientLibrary, OneLoadedInstanceServesEveryUser) {
  std::shared_ptr<ClientLibrary> library;
  try {
    library = ClientLibrary::Load();
  } catch (const FirebirdError& error) {
#ifdef _WIN32
    GTEST_SKIP() << "no Firebird client library on this Windows machine: " << error.what();
#else
    throw;
#endif
  }
  EXPECT_EQ(ClientLibrary::Load(kDefaultVendorLib), library) << "the system's usual name is the same library";
  EXPECT_GE(library->MajorVersion(), 3);
  EXPECT_TRUE(library->ThreadSafe());
}

}  // namespace
}  // namespace nuvexa::firebird
