#!/usr/bin/env bash
# The soak run, not part of CI: builds nuvexa-soak under AddressSanitizer and
# UndefinedBehaviorSanitizer, starts the local Firebird server and runs N backup cycles
# (default 300) in one process, every tenth under a cloud fault. Fails on a leak (found by
# LeakSanitizer at exit), a failed cycle, or growth of descriptors or resident memory.
# Run from anywhere, as root or with sudo rights:  bash scripts/soak.sh [cycles]
# NUVEXA_SOAK_BUILD picks the build folder (default build-soak), NUVEXA_SOAK_JOBS the
# build's parallel jobs (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

cycles=${1:-300}
dir=${NUVEXA_SOAK_BUILD:-build-soak}
jobs=${NUVEXA_SOAK_JOBS:-2}
started=$(date +%s)

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DNUVEXA_SANITIZE=ON -DNUVEXA_SOAK=ON -DNUVEXA_BUILD_TESTS=ON
cmake --build "$dir" -j "$jobs" --target nuvexa-soak
bash scripts/firebird.sh start

# the options of scripts/test.sh's sanitizer build; see there for intercept_tls_get_addr=0.
# nuvexa-soak sets a smaller quarantine of its own (see __asan_default_options there).
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$dir/tools/soak/nuvexa-soak" "$cycles" || status=$?

elapsed=$(( $(date +%s) - started ))
if [ "$status" -eq 0 ]; then
  echo "soak.sh: passed, no leak reported by LeakSanitizer, in $((elapsed / 60))m$((elapsed % 60))s"
else
  echo "soak.sh: FAILED (exit status $status) after $((elapsed / 60))m$((elapsed % 60))s" >&2
fi
exit "$status"
