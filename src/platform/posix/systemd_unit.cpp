#include "platform/posix/systemd_unit.h"

#include <array>
#include <stdexcept>

#include "platform/paths.h"

namespace platform {
namespace {

std::string QuotedWhenSpaced(const std::string& text) {
  return text.find(' ') == std::string::npos ? text : "\"" + text + "\"";
}

// A path as one word of a unit file, where "%" would start a specifier.
std::string UnitWord(const std::string& path) {
  std::string escaped;
  for (const char c : path) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return QuotedWhenSpaced(escaped);
}

// systemd refuses to run an executable whose path holds a quote, a backslash or a control
// character, however it is escaped; better said at INSTALL than at the next boot.
void RequireRunnableBySystemd(const std::string& path) {
  for (const char c : path) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      throw std::invalid_argument(
          "systemd cannot run an executable whose path holds a quote, a backslash or a control character: " + path);
  }
}

// ProtectSystem=full and ProtectHome=read-only make these read-only; an executable's folder
// below one of them still needs its log and backup folders.
bool ReadOnlyUnderHardening(const std::string& folder) {
  constexpr std::array<std::string_view, 7> kReadOnly{"/usr/", "/boot/", "/efi/", "/etc/", "/home/", "/root/", "/run/user/"};
  for (const std::string_view prefix : kReadOnly) {
    if (folder.starts_with(prefix)) return true;
  }
  return false;
}

}  // namespace

std::string ServiceCommand(const std::string& executable_path) { return QuotedWhenSpaced(executable_path); }

std::string SystemdUnitText(std::string_view description, const std::string& executable_path) {
  RequireRunnableBySystemd(executable_path);
  const std::string folder = platform::ExtractFilePath(executable_path);
  std::string text;
  text += "# Written by nuvexa -INSTALL and removed by nuvexa -UNINSTALL.\n";
  text += "[Unit]\n";
  text += "Description=" + std::string(description) + "\n";
  // the central server and the cloud are reached over the network; the local server is asked first
  text += "Wants=network-online.target\n";
  text += "After=network-online.target firebird3.0.service\n";
  text += "\n";
  text += "[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + UnitWord(executable_path) + "\n";
  text += "EnvironmentFile=-/etc/default/nuvexa\n";
  text += "# a stop lets a running backup cycle finish\n";
  text += "TimeoutStopSec=1h\n";
  text += "Restart=on-failure\n";
  text += "UMask=0027\n";
  // The archive's idle-priority threads yield only within the service's own control group:
  // the group's lowest weight lets the pharmacy's programs, in other groups, keep the
  // processor while a backup is compressed.
  text += "CPUWeight=1\n";
  // Runs as root, which it needs to share the backup folders with the database server. Nothing
  // here narrows where it may write: beside the executable and any external backup folder.
  // RestrictSUIDSGID= would refuse the backup folders their setgid bit.
  text += "NoNewPrivileges=yes\n";
  text += "ProtectSystem=full\n";
  text += "ProtectHome=read-only\n";
  text += "PrivateTmp=yes\n";
  text += "PrivateDevices=yes\n";
  text += "ProtectKernelTunables=yes\n";
  text += "ProtectKernelModules=yes\n";
  text += "ProtectKernelLogs=yes\n";
  text += "ProtectControlGroups=yes\n";
  text += "ProtectClock=yes\n";
  text += "ProtectHostname=yes\n";
  text += "RestrictRealtime=yes\n";
  text += "RestrictNamespaces=yes\n";
  text += "LockPersonality=yes\n";
  text += "SystemCallArchitectures=native\n";
  // AF_NETLINK: the machine's addresses for the inventory
  text += "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK\n";
  if (ReadOnlyUnderHardening(folder)) {
    text += "ReadWritePaths=" + UnitWord(platform::ExcludeTrailingPathDelimiter(folder)) + "\n";
  }
  text += "\n";
  text += "[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

}  // namespace platform
