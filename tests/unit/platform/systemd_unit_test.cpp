#include "platform/posix/systemd_unit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace platform {
namespace {

using ::testing::Contains;
using ::testing::Not;
using ::testing::StartsWith;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SystemdUnit, TheWholeUnitForTheUsualFolder) {
  EXPECT_EQ(SystemdUnitText("Nuvexa", "/opt/nuvexa/nuvexa"),
            "# Written by nuvexa -INSTALL and removed by nuvexa -UNINSTALL.\n"
            "[Unit]\n"
            "Description=Nuvexa\n"
            "Wants=network-online.target\n"
            "After=network-online.target firebird3.0.service\n"
            "\n"
            "[Service]\n"
            "Type=notify\n"
            "ExecStart=/opt/nuvexa/nuvexa\n"
            "EnvironmentFile=-/etc/default/nuvexa\n"
            "# a stop lets a running backup cycle finish\n"
            "TimeoutStopSec=1h\n"
            "Restart=on-failure\n"
            "UMask=0027\n"
            "CPUWeight=1\n"
            "NoNewPrivileges=yes\n"
            "ProtectSystem=full\n"
            "ProtectHome=read-only\n"
            "PrivateTmp=yes\n"
            "PrivateDevices=yes\n"
            "ProtectKernelTunables=yes\n"
            "ProtectKernelModules=yes\n"
            "ProtectKernelLogs=yes\n"
            "ProtectControlGroups=yes\n"
            "ProtectClock=yes\n"
            "ProtectHostname=yes\n"
            "RestrictRealtime=yes\n"
            "RestrictNamespaces=yes\n"
            "LockPersonality=yes\n"
            "SystemCallArchitectures=native\n"
            "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
}

TEST(SystemdUnit, ExecStartAndWriteAccessFollowThePath) {
  struct Case { const char* why; const char* path; const char* exec_start; const char* read_write; };
  const Case kCases[] = {
      {"a space quotes the path", "/opt/Nuvexa Backup/nuvexa", "ExecStart=\"/opt/Nuvexa Backup/nuvexa\"", nullptr},
      {"a percent sign is no specifier", "/opt/100%/nuvexa", "ExecStart=/opt/100%%/nuvexa", nullptr},
      {"under /srv nothing is read-only", "/srv/nuvexa/nuvexa", "ExecStart=/srv/nuvexa/nuvexa", nullptr},
      {"/usrx is not /usr", "/usrx/nuvexa", "ExecStart=/usrx/nuvexa", nullptr},
      {"ProtectSystem leaves /usr/local read-only", "/usr/local/nuvexa/nuvexa", "ExecStart=/usr/local/nuvexa/nuvexa",
       "ReadWritePaths=/usr/local/nuvexa"},
      {"ProtectHome leaves /root read-only", "/root/Nuvexa Backup/nuvexa", "ExecStart=\"/root/Nuvexa Backup/nuvexa\"",
       "ReadWritePaths=\"/root/Nuvexa Backup\""},
      {"the folder is escaped as the command is", "/etc/50% off/nuvexa", "ExecStart=\"/etc/50%% off/nuvexa\"",
       "ReadWritePaths=\"/etc/50%% off\""},
  };
  for (const auto& c : kCases) {
    const std::vector<std::string> lines = Lines(SystemdUnitText("Nuvexa", c.path));
    EXPECT_THAT(lines, Contains(c.exec_start)) << c.why;
    if (c.read_write != nullptr) {
      EXPECT_THAT(lines, Contains(c.read_write)) << c.why;
    } else {
      EXPECT_THAT(lines, Not(Contains(StartsWith("ReadWritePaths=")))) << c.why;
    }
  }
}

TEST(SystemdUnit, PathsThatSystemdWouldNotRunAreRefused) {
  for (const char* path : {"/opt/a\"b/nuvexa", "/opt/a\\b/nuvexa", "/opt/a\tb/nuvexa", "/opt/a\nb/nuvexa"}) {
    EXPECT_THROW(SystemdUnitText("Nuvexa", path), std::invalid_argument) << path;
  }
}

TEST(SystemdUnit, TheRegisteredCommandIsThePathQuotedWhenItHoldsASpace) {
  EXPECT_EQ(ServiceCommand("/opt/nuvexa/nuvexa"), "/opt/nuvexa/nuvexa");
  EXPECT_EQ(ServiceCommand("/opt/Nuvexa Backup/nuvexa"), "\"/opt/Nuvexa Backup/nuvexa\"");
  EXPECT_EQ(ServiceCommand("/opt/100%/nuvexa"), "/opt/100%/nuvexa") << "unit syntax is the unit's business";
}

}  // namespace
}  // namespace platform
