#!/usr/bin/env bash
# Installs nuvexa-setup.exe silently into a Wine prefix (WINEPREFIX, made by the caller),
# checks that it put nuvexa.exe in C:\Nuvexa and registered SrvNuvexa, runs the service under
# Wine's service manager until it stops, then uninstalls and checks that the service is gone
# and the backups and the log stayed.
#
#   scripts/windows-installer-test.sh build-windows/nuvexa-setup.exe
set -euo pipefail
setup=$(realpath "$1")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
: "${WINEPREFIX:?a Wine prefix is needed}"
folder="$WINEPREFIX/drive_c/Nuvexa"
service_key='HKLM\System\CurrentControlSet\Services\SrvNuvexa'

fail() { echo "windows-installer-test.sh: $*" >&2; exit 1; }
value() { "$wine" reg query "$service_key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {$1=""; $2=""; sub(/^  */, ""); print}'; }
# Wine, unlike Windows, loads a kernel32.dll or zlib1.dll found beside a program before its
# own; the executable's stand-ins of those two go before Wine starts it again.
unshadow() { rm -f "$folder/kernel32.dll" "$folder/zlib1.dll"; }

"$wine" "$setup" /S > /dev/null 2>&1 || true
[ -f "$folder/nuvexa.exe" ] || fail "nuvexa.exe is not in C:\\Nuvexa"
[ -f "$folder/uninstall.exe" ] || fail "no uninstaller in C:\\Nuvexa"
[ "$(value DisplayName)" = "Nuvexa" ] || fail "SrvNuvexa is not registered as Nuvexa: '$(value DisplayName)'"
[ "$(value Start)" = "0x2" ] || fail "SrvNuvexa does not start automatically: '$(value Start)'"
[ "$(value Type)" = "0x10" ] || fail "SrvNuvexa is not a service of its own process: '$(value Type)'"
[ "$(value ImagePath)" = '"C:\Nuvexa\nuvexa.exe"' ] || fail "SrvNuvexa runs '$(value ImagePath)'"
[ -f "$folder/libeay32.dll" ] || fail "the runtime files were not written beside nuvexa.exe"
echo "installed: SrvNuvexa runs $(value ImagePath)"

# The service itself under the manager: it starts, its timer runs cycles (which log that no
# database answers: there is no Firebird client here), and it stops when asked.
unshadow
rm -f "$folder/Nuvexa.log"
"$wine" net start SrvNuvexa > "$WINEPREFIX/net-start.txt" 2>&1 || fail "the service did not start: $(cat "$WINEPREFIX/net-start.txt")"
for _ in $(seq 30); do
  [ -s "$folder/Nuvexa.log" ] && break
  sleep 1
done
[ -s "$folder/Nuvexa.log" ] || fail "the service ran no cycle in 30 s"
"$wine" sc query SrvNuvexa | tr -d '\r' | grep -q 'STATE *: 4 *RUNNING' || fail "the service is not running"
"$wine" net stop SrvNuvexa > "$WINEPREFIX/net-stop.txt" 2>&1 || fail "the service did not stop: $(cat "$WINEPREFIX/net-stop.txt")"
"$wine" sc query SrvNuvexa | tr -d '\r' | grep -q 'STATE *: 1 *STOPPED' || fail "the service did not report stopped"
echo "the service ran a cycle under the service manager and stopped: $(head -1 "$folder/Nuvexa.log" | tr -d '\r')"

# what the pharmacy keeps: the backups and the log
mkdir -p "$folder/BACKUP DROVANA"
echo backup > "$folder/BACKUP DROVANA/NuvexaDrovana_test.zip"

unshadow
# _?= runs the uninstaller in place, so that Wine waits for it
"$wine" "$folder/uninstall.exe" /S "_?=C:\\Nuvexa" > /dev/null 2>&1 || true
"$wine" reg query "$service_key" > /dev/null 2>&1 && fail "SrvNuvexa is still registered after the uninstall"
[ -f "$folder/nuvexa.exe" ] && fail "nuvexa.exe is still there after the uninstall"
[ -f "$folder/BACKUP DROVANA/NuvexaDrovana_test.zip" ] || fail "the uninstall removed the backups"
[ -f "$folder/Nuvexa.log" ] || fail "the uninstall removed the log"
echo "uninstalled: the service is gone, the backups and the log stayed"
