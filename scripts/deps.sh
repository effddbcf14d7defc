#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Nuvexa needs; with the
# argument "windows", also the Windows cross build's (compiler, zlib, GoogleTest's sources,
# Wine, NSIS). Non-interactive and safe to run again.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libcurl4-openssl-dev zlib1g-dev nlohmann-json3-dev libsystemd-dev
  firebird-dev libfbclient2 firebird3.0-server firebird3.0-utils
  libgtest-dev libgmock-dev unzip zip python3 p7zip-full
  systemd  # systemd-analyze: the tests verify the unit that -INSTALL writes
  libcpp-httplib-dev libssl-dev openssl
)
# Installed as Debian installs them by default, recommendations included: Wine's TLS
# (libgnutls30) and other pieces it loads at run time are only recommended by its packages.
windows_packages=()
if [ "${1:-}" = windows ]; then
  windows_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine64 libgnutls30 nsis)
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# missing_of <package...>: those not installed, one per line
missing_of() {
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then echo "$p"; fi
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_windows < <(missing_of "${windows_packages[@]}")

if [ "${#missing[@]}" -eq 0 ] && [ "${#missing_windows[@]}" -eq 0 ]; then
  echo "deps: all packages present"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
if [ "${#missing[@]}" -gt 0 ]; then
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ "${#missing_windows[@]}" -gt 0 ]; then
  "${sudo_cmd[@]}" apt-get install -y -q "${missing_windows[@]}"
fi
