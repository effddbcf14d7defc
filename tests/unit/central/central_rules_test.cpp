// The pure rules of the synchronisation: the machine's address and the settings' guards.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "central/central_settings.h"
#include "central/machine_address.h"
#include "service/srv_nuvexa.h"

namespace nuvexa::central {
namespace {

using Addresses = std::vector<std::string>;

TEST(MachineAddress, PicksTheFirstAddressThatIsNotLoopback) {
  struct Case {
    const char* why;
    const char* name;
    Addresses resolved;
    Addresses interfaces;
    const char* expected;
  };
  const Case kCases[] = {
      {"LOCALHOST in any case is loopback by rule", "LocalHost", {"10.0.0.1"}, {"10.0.0.2"}, "127.0.0.1"},
      {"a dotted name is the address itself", "192.168.0.7", {"10.0.0.1"}, {}, "192.168.0.7"},
      {"a dotted loopback name stays as given", "127.0.0.5", {}, {"10.0.0.2"}, "127.0.0.5"},
      {"the resolver's first address", "farmacia", {"192.168.0.10", "10.0.0.1"}, {"10.0.0.2"}, "192.168.0.10"},
      {"Debian's 127.0.1.1 for the host name is skipped", "farmacia", {"127.0.1.1", "192.168.0.10"}, {},
       "192.168.0.10"},
      {"only loopback resolved: an interface's address", "farmacia", {"127.0.1.1"}, {"10.1.2.3", "10.9.9.9"},
       "10.1.2.3"},
      {"a name that does not resolve: an interface's address", "farmacia", {}, {"10.1.2.3"}, "10.1.2.3"},
      {"nothing at all: empty", "farmacia", {"127.0.1.1"}, {}, ""},
      {"a name that only looks dotted is looked up", "1.2.3", {"10.0.0.1"}, {}, "10.0.0.1"},
      {"a part above 255 is no address", "1.2.3.256", {"10.0.0.1"}, {}, "10.0.0.1"},
  };
  for (const Case& c : kCases) {
    const std::string got = MachineAddress(
        c.name, [&](const std::string& name) { return name == c.name ? c.resolved : Addresses{}; },
        [&] { return c.interfaces; });
    EXPECT_EQ(got, c.expected) << c.why;
  }
}

TEST(CentralSettings, TheThreadPeriodStaysWithinTheTimersRange) {
  const BackupSettings current{360, 3, 19, 750'000'000, 3'600'000};
  CentralConfiguration central;
  central.NUVEXAINTERVALOTHREAD = 35'792;  // 2,147,520,000 ms: one step past the 32-bit range
  EXPECT_EQ(ApplyCentralSettings(current, central, 0).IntervaloThread, std::numeric_limits<std::int32_t>::max());
  central.NUVEXAINTERVALOTHREAD = 35'791;
  EXPECT_EQ(ApplyCentralSettings(current, central, 0).IntervaloThread, 2'147'460'000);
  central.NUVEXAMAXIMOBACKUP = 1;
  EXPECT_EQ(ApplyCentralSettings(current, central, 0).MaximoBackup, 0) << "one file less, even down to none";
  EXPECT_EQ(ApplyCentralSettings(current, central, -5).BackupIntervalo, -5) << "a local value that is set wins";
}

TEST(ExtraiNumero, KeepsTheDigitsInOrder) {
  EXPECT_EQ(TSrvNuvexa::ExtraiNumero("12.345.678/0001-95"), "12345678000195");
  EXPECT_EQ(TSrvNuvexa::ExtraiNumero("sem número"), "");
  EXPECT_EQ(TSrvNuvexa::ExtraiNumero(""), "");
  EXPECT_EQ(TSrvNuvexa::ExtraiNumero("٣ e 7"), "7") << "only the ASCII digits";
}

}  // namespace
}  // namespace nuvexa::central
