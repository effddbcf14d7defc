#!/usr/bin/env bash
# Cross-builds the Windows executable and its tests: build-windows/nuvexa.exe, the test
# executables under build-windows/tests/, and, with NSIS present, build-windows/nuvexa-setup.exe.
# Run from anywhere; installs the cross compiler and its pieces when missing (as root).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh windows

dir=${NUVEXA_WINDOWS_BUILD_DIR:-build-windows}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
echo "build-windows.sh: built $dir/nuvexa.exe"
