#!/usr/bin/env bash
# Runs the benchmarks side by side with their references on this machine and prints one
# table of ratios. The input is the corpus of scripts/bench-corpus.sh (made when missing).
#
#   scripts/bench.sh [corpus megabytes, default 512]
set -euo pipefail
cd "$(dirname "$0")/.."

megabytes=${1:-512}
bash scripts/deps.sh >/dev/null
missing=()
for p in zip pigz time; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p"); done
if [ "${#missing[@]}" -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

corpus=bench/corpus/corpus.fbk
[ -f "$corpus" ] || bash scripts/bench-corpus.sh "$megabytes" bench/corpus
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNUVEXA_BUILD_BENCH=ON -DNUVEXA_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j 2 --target nuvexa_archive >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cores=$(nproc)

# run <name> <command...>: wall seconds and peak KiB of one run, the file cache warm
run() {
  local name=$1; shift
  /usr/bin/time -f "%e %M" -o "$out/$name.time" "$@" >/dev/null
  read -r wall peak <"$out/$name.time"
  echo "$name $wall $peak"
}
cat "$corpus" >/dev/null  # the same warm cache for every run
{
  run zip9 zip -9 -q "$out/zip9.zip" "$corpus"
  run pigz sh -c "pigz -9 -K -c '$corpus' > '$out/pigz.zip'"
  run ours1 build-bench/bench/nuvexa_archive "$corpus" "$out/ours1.zip" 1
  run oursN build-bench/bench/nuvexa_archive "$corpus" "$out/oursN.zip" "$cores"
} >"$out/runs"

size() { stat -c %s "$out/$1.zip"; }
awk -v zs="$(size zip9)" -v s1="$(size ours1)" -v sN="$(size oursN)" -v cores="$cores" \
    -v input="$(stat -c %s "$corpus")" '
  function row(name, key, ref, sz, goal) {
    printf "%-22s %8.2f %10s %10s %9.1f  %s\n", name, wall[key], (ref == "" ? "" : sprintf("%.2f", wall[key] / wall[ref])),
           (sz == "" ? "" : sprintf("%.4f", sz / zs)), peak[key] / 1024, goal
  }
  { wall[$1] = $2; peak[$1] = $3 }
  END {
    printf "archive of corpus.fbk, %.0f MiB, %d cores; ours includes reading the archive back\n", input / 1048576, cores
    printf "%-22s %8s %10s %10s %9s  %s\n", "", "wall s", "wall ratio", "size ratio", "peak MiB", "goal"
    row("zip -9", "zip9", "", zs, "")
    row("pigz -9 -K", "pigz", "zip9", "", "")
    g1 = wall["ours1"] / wall["zip9"] <= 1.05 ? "met" : "NOT met"
    row("ours, 1 thread", "ours1", "zip9", s1, "<= 1.05 x zip -9: " g1)
    gN = (wall["oursN"] / wall["pigz"] <= 1.0 && sN / zs <= 1.005 && peak["oursN"] <= 65536) ? "met" : "NOT met"
    row("ours, all threads", "oursN", "pigz", sN, "<= 1.0 x pigz, size <= 1.005, peak <= 64 MiB: " gN)
  }' "$out/runs"
