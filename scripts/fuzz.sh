#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz/ with clang in build-fuzz and runs each for a
# bounded time on a copy of its seed corpus. Exits non-zero, naming the input, when a target
# finds a crash, a leak, a timeout or runs out of memory. Run from anywhere, as root or with
# sudo rights.
#
#   scripts/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds-per-target]" >&2
  exit 2
fi
targets=(list_folder data_hora ini pe_version log_encoding firebird_status)

# The fuzzing toolchain: not in deps.sh, as only this script needs it.
bash scripts/deps.sh
fuzz_packages=(clang libfuzzer-14-dev)
missing=()
for p in "${fuzz_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then missing+=("$p"); fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUVEXA_FUZZ=ON \
  -DNUVEXA_BUILD_TESTS=OFF
# the machine's two cores are shared
cmake --build build-fuzz --target nuvexa_fuzz -j 2

bin=build-fuzz/tests/fuzz
runs=build-fuzz/fuzz-runs
export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# the INI target writes its input to a file each run: in memory that does not wait on the disk
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
limits=(-rss_limit_mb=2048 -timeout=10)
passed=0
failed=0
for t in "${targets[@]}"; do
  dir=$runs/$t
  rm -rf "$dir"
  mkdir -p "$dir/artifacts"
  "$bin/fuzz_seeds" "$t" "tests/fuzz/corpus/$t" "$dir/corpus"
  echo "fuzz: $t for ${seconds}s"
  inputs=()
  # Every corpus input once at its full length: a regression case may be longer than the
  # inputs the fuzzing below makes, which would cut it short.
  for f in "$dir/corpus"/*; do
    "$bin/${t}_fuzz" "${limits[@]}" -artifact_prefix="$dir/artifacts/" "$f" >>"$dir/log" 2>&1 || inputs+=("$f")
  done
  status=0
  if [ "${#inputs[@]}" -eq 0 ]; then
    # 4 KiB inputs: large enough for each format's structure, small enough to run fast
    "$bin/${t}_fuzz" "${limits[@]}" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/" "$dir/corpus" >>"$dir/log" 2>&1 || status=$?
    while IFS= read -r f; do inputs+=("$f"); done < <(find "$dir/artifacts" -type f | sort)
  fi
  if [ "$status" -ne 0 ] || [ "${#inputs[@]}" -gt 0 ]; then
    failed=$((failed + 1))
    echo "fuzz: $t FAILED; the last lines of $dir/log:"
    tail -n 60 "$dir/log"
    for f in "${inputs[@]}"; do echo "fuzz: $t: failing input $f"; done
  else
    passed=$((passed + 1))
    grep -E '^stat::number_of_executed_units' "$dir/log" | sed "s/^/fuzz: $t: /" || true
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
