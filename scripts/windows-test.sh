#!/usr/bin/env bash
# Builds the Windows target (scripts/build-windows.sh) and tests it under Wine, in a Wine
# prefix made for this run: the unit tests of the platform-neutral code and the Windows
# platform tests (ctest), the HTTPS tests against the fake cloud on loopback
# (scripts/windows-cloud-test.sh, which needs the Linux build's fake cloud in build/), and the
# installer: installed, registered and uninstalled. No display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/build-windows.sh
dir=${NUVEXA_WINDOWS_BUILD_DIR:-build-windows}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/nuvexa-wine.XXXXXX)
export WINEDEBUG=-all WINEARCH=win64
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# The new prefix is made to its end first (its service manager keeps no registration made
# while the prefix is still being set up); then one server for the whole run, as a new
# server would start the services registered by then again.
"$wine" wineboot -i > /dev/null 2>&1
"$wineserver" -w
# The server and Wine's own processes (its service manager, explorer) outlive the programs
# that start them: started here, away from the output of this script and of the tests,
# nothing waits for them to close it.
"$wineserver" -p < /dev/null > /dev/null 2>&1
"$wine" cmd /c exit < /dev/null > /dev/null 2>&1

# one test executable at a time: the service manager tests share the prefix's manager
ctest --test-dir "$dir" -j1 --output-on-failure --no-tests=error

fake_cloud=${NUVEXA_FAKE_CLOUD:-$root/build/tools/fake-cloud/nuvexa-fake-cloud}
if [ ! -x "$fake_cloud" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target nuvexa-fake-cloud
fi
NUVEXA_FAKE_CLOUD=$fake_cloud WINE=$wine bash scripts/windows-cloud-test.sh \
  "$dir/tests/windows/windows_platform_tests.exe" --gtest_filter='WinHttp*'

bash scripts/windows-installer-test.sh "$dir/nuvexa-setup.exe"
echo "windows-test.sh: the Windows build passed its tests under Wine"
