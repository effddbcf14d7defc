#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it on this machine the way an
# administrator uses it: install, register the service, verify the unit, unregister,
# remove, purge. Run as root. The machine is left as it was found; a machine that has the
# package installed already is not touched.
#   usage: package-test.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
unit=/etc/systemd/system/SrvNuvexa.service
failures=0

check() {  # check <what> <command...>
  local what=$1; shift
  if "$@"; then echo "package-test: ok: $what"; else echo "package-test: FAILED: $what" >&2; failures=$((failures + 1)); fi
}
mode_of() { stat -c '%a %U:%G' "$1"; }

if dpkg -s nuvexa >/dev/null 2>&1; then
  echo "package-test: the nuvexa package is installed on this machine already; leaving it alone" >&2
  exit 1
fi
if [ -e "$unit" ]; then
  echo "package-test: $unit exists already; leaving it alone" >&2
  exit 1
fi

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/nuvexa_*.deb | head -n 1)
echo "package-test: $deb"
trap 'dpkg -P nuvexa >/dev/null 2>&1 || true; rm -f "$unit"; rm -rf /opt/nuvexa' EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
check "the executable is in /opt/nuvexa, root's" test "$(mode_of /opt/nuvexa/nuvexa)" = "755 root:root"
check "its folder is root's and 0755" test "$(mode_of /opt/nuvexa)" = "755 root:root"
check "the package depends on the Firebird client" sh -c "dpkg-deb -f '$deb' Depends | grep -q libfbclient2"

out=$(/opt/nuvexa/nuvexa -INSTALL)
check "-INSTALL says so" test "$out" = "Service installed successfully"
check "-INSTALL writes the unit" test -f "$unit"
check "the unit starts /opt/nuvexa/nuvexa" grep -qx 'ExecStart=/opt/nuvexa/nuvexa' "$unit"
if command -v systemd-analyze >/dev/null 2>&1; then
  check "systemd-analyze verify accepts the unit" systemd-analyze verify --man=no "$unit"
else
  echo "package-test: FAILED: systemd-analyze is missing (scripts/deps.sh installs it)" >&2
  failures=$((failures + 1))
fi
out=$(/opt/nuvexa/nuvexa -UNINSTALL)
check "-UNINSTALL says so" test "$out" = "Service uninstalled successfully"
check "-UNINSTALL removes the unit" test ! -e "$unit"

# what a season of service leaves behind: a backup and the log
/opt/nuvexa/nuvexa -INSTALL -SILENT
mkdir -p "/opt/nuvexa/BACKUP DROVANA"
echo backup > "/opt/nuvexa/BACKUP DROVANA/NuvexaDrovana_01122026_1000.zip"
echo log > /opt/nuvexa/Nuvexa.log
dpkg -r nuvexa >/dev/null
check "removal unregisters the service" test ! -e "$unit"
check "removal takes the executable" test ! -e /opt/nuvexa/nuvexa
check "removal keeps the backups" test -f "/opt/nuvexa/BACKUP DROVANA/NuvexaDrovana_01122026_1000.zip"
check "removal keeps the log" test -f /opt/nuvexa/Nuvexa.log
out=$(dpkg -P nuvexa 2>&1)
check "purging says the backups are kept" sh -c "printf '%s' \"\$1\" | grep -q 'are kept'" _ "$out"
check "purging keeps the backups" test -f "/opt/nuvexa/BACKUP DROVANA/NuvexaDrovana_01122026_1000.zip"
check "purging removes the log" test ! -e /opt/nuvexa/Nuvexa.log

if [ "$failures" -ne 0 ]; then
  echo "package-test: $failures check(s) failed" >&2
  exit 1
fi
echo "package-test: the package installs, registers, unregisters, removes and purges as it should"
