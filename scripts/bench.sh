#!/usr/bin/env bash
# Runs the benchmarks side by side with their references on this machine and prints one
# table of ratios, every figure measured in this run: the archive, the pharmacy job (backup
# and archive), the backup request, the upload, the activity log and whole cycles. The input
# is the corpus of scripts/bench-corpus.sh (made again when missing or of another size); the
# cycles meet a central database and nuvexa-fake-cloud over HTTPS on loopback that this
# script sets up in a temporary folder and removes.
#
#   scripts/bench.sh [corpus megabytes, default 512]      (as root; the Firebird server is started)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

megabytes=${1:-512}
if ! [[ "$megabytes" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/bench.sh [corpus megabytes]" >&2
  exit 2
fi
runs=3                       # each timed thing but the due cycles; the median is reported
log_entries=2000             # timed entries per activity log
log_megabytes=100            # the large activity log
upload_bytes=$((1 << 30))
single_request_limit=149000000  # as the service: larger archives go in an upload session
session_chunk=100000000
neighbour_seconds=10         # each run of the CPU-bound neighbour
load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)

bash scripts/deps.sh >/dev/null
missing=()
for p in zip pigz time curl; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p"); done
if [ "${#missing[@]}" -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
bash scripts/firebird.sh start >/dev/null

isql() { isql-fb -q -b -user SYSDBA -password cobweb "$@"; }

# The corpus: the pharmacy database, its backup, and beside them the prescription database
# that the service backs up from the pharmacy database's folder.
corpus_dir="$root/bench/corpus"
corpus="$corpus_dir/corpus.fbk"
db="$corpus_dir/corpus.fdb"
prescription="$corpus_dir/RECEITADIGITAL.FDB"
if [ ! -f "$corpus" ] || [ ! -f "$db" ] || [ "$(cat "$corpus_dir/megabytes" 2>/dev/null)" != "$megabytes" ]; then
  bash scripts/bench-corpus.sh "$megabytes" "$corpus_dir"
  echo "$megabytes" >"$corpus_dir/megabytes"
fi
if [ ! -f "$prescription" ]; then
  { echo "SET NAMES UTF8;"
    echo "CREATE DATABASE 'localhost:$prescription' DEFAULT CHARACTER SET ISO8859_1;"
    cat scripts/sql/prescription.sql; } | isql >/dev/null
fi

build_log="$root/build-bench/bench-build.log"
mkdir -p build-bench
if ! { cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNUVEXA_BUILD_BENCH=ON -DNUVEXA_BUILD_TESTS=OFF &&
       cmake --build build-bench -j 2 --target nuvexa_archive nuvexa_backup_job nuvexa_backup_request nuvexa_upload \
         nuvexa_activity_log nuvexa_cycle nuvexa_cpu_neighbour nuvexa-fake-cloud; } >"$build_log" 2>&1; then
  tail -n 30 "$build_log" >&2
  echo "bench: the build failed (all of it in $build_log)" >&2
  exit 1
fi
tools="$root/build-bench/bench"

# Everything else lives in a temporary folder on the same disk as the corpus (/tmp here);
# the server enters it to write backups, so it is 0755 as an installation folder is.
out=$(mktemp -d)
chmod 0755 "$out"
results="$out/results"
cloud_pid=
central="$out/central/CENTRAL.FDB"
clean_up() {
  [ -n "$cloud_pid" ] && { kill "$cloud_pid" 2>/dev/null; wait "$cloud_pid" 2>/dev/null || true; }
  [ -f "$central" ] && { echo "DROP DATABASE;" | isql "localhost:$central" >/dev/null 2>&1 || true; }
  rm -rf "$out"
}
trap clean_up EXIT
cores=$(nproc)

# Waits up to a minute for the local server to take the service's password: tests run on
# this machine meanwhile may restart it or change the password for a while.
server_answers() {
  for _ in $(seq 60); do
    echo "SELECT 1 FROM RDB\$DATABASE;" | isql "localhost:$db" >/dev/null 2>&1 && return 0
    sleep 1
  done
  return 1
}
# measure <name> <command...>: one run's wall seconds and peak KiB into the results; the
# command's output goes to $out/<name>.out. A failed run is tried again (twice at most) once
# the server answers, and counted; a run that fails three times ends the benchmark.
measure() {
  local name=$1; shift
  local attempt
  for attempt in 1 2 3; do
    if /usr/bin/time -f "%e %M" -o "$out/time" "$@" >"$out/$name.out" 2>"$out/$name.err"; then
      read -r wall peak <"$out/time"
      echo "run $name $wall $peak" >>"$results"
      return 0
    fi
    echo "bench: $name failed (attempt $attempt): $(head -c 300 "$out/$name.err" | tr '\n' ' ')" >&2
    echo "retry $name 1" >>"$results"
    server_answers || break
  done
  cat "$out/$name.err" "$out/time" >&2
  exit 1
}
record() { echo "$1 $2 $3" >>"$results"; }   # record <kind> <name> <value>
step() { echo "bench: $*" >&2; }

# --- archive: ours with 1 and all threads against zip -9 and pigz -9 -K ---------------------
step "archive of corpus.fbk, $runs runs"
cat "$corpus" >/dev/null  # the same warm cache for every run
for _ in $(seq "$runs"); do
  rm -f "$out"/*.zip
  measure zip9 zip -9 -q "$out/zip9.zip" "$corpus"
  measure pigz sh -c "pigz -9 -K -c '$corpus' > '$out/pigz.zip'"
  measure ours1 "$tools/nuvexa_archive" "$corpus" "$out/ours1.zip" 1 write-only
  measure oursN "$tools/nuvexa_archive" "$corpus" "$out/oursN.zip" "$cores" write-only
  measure oursNcheck "$tools/nuvexa_archive" "$corpus" "$out/oursNcheck.zip" "$cores"
done
for name in zip9 ours1 oursN oursNcheck; do record size "$name" "$(stat -c %s "$out/$name.zip")"; done
rm -f "$out"/*.zip

# --- a CPU-bound neighbour: its work alone and beside the archive ----------------------------
# The pharmacy's own programs must keep the machine while a backup is compressed: the
# neighbour counts the rounds it gets done alone and beside the archive, which runs again
# and again for the whole time, with one busy thread (a program) and one per core (a busy
# machine). Idle priority yields only to threads of the same scheduling group, so ours runs
# in the neighbour's group, in a group of its own (another session, as the pharmacy's
# programs are to the service), and in a group of its own with the group's lowest weight
# (autogroup nice 19, as the service's unit asks with CPUWeight=1); pigz at normal priority
# beside it for comparison.
step "a CPU-bound neighbour beside the archive, ${neighbour_seconds} s a run"
neighbour() { "$tools/nuvexa_cpu_neighbour" "$neighbour_seconds" "$1" | cut -d' ' -f1; }
beside() {  # beside <threads> <group: same|own|own-low> <archiver command...>: the neighbour's rounds
  local threads=$1 group=$2; shift 2
  local loop='while :; do "$@" >/dev/null 2>&1; done'
  case "$group" in
    same) bash -c "$loop" _ "$@" & ;;
    own) setsid bash -c "$loop" _ "$@" & ;;  # a session of its own is a scheduling group of its own
    own-low) setsid bash -c "echo 19 > /proc/self/autogroup; $loop" _ "$@" & ;;
  esac
  sleep 1  # under way
  neighbour "$threads"
  pkill -f -- "$out/neighbour" 2>/dev/null || true
  pkill -f -- "pigz -9 -K -c $corpus" 2>/dev/null || true
  wait 2>/dev/null || true
}
for threads in 1 "$cores"; do
  record value "alone_$threads" "$(neighbour "$threads")"
  for group in same own own-low; do
    record value "ours_${group}_$threads" \
      "$(beside "$threads" "$group" "$tools/nuvexa_archive" "$corpus" "$out/neighbour.zip" "$cores")"
  done
  record value "pigz_$threads" "$(beside "$threads" own sh -c "pigz -9 -K -c '$corpus' > '$out/neighbour-pigz.zip'")"
done
rm -f "$out"/neighbour*.zip

# --- the installation: quorvo.ini beside the tools' "executable folder" ----------------------
install="$out/install"
mkdir -m 0755 "$install"
printf '[Quorvo]\r\nServidor=localhost\r\nCaminho=%s\r\n' "$db" >"$install/quorvo.ini"
backups="$out/backups"          # the references' backup files, written by the server
mkdir -m 0777 "$backups"

# --- backup + archive: the pharmacy job against gbak -se | pigz -9 -K -------------------------
step "backup and archive of corpus.fdb, $runs runs"
for _ in $(seq "$runs"); do
  measure pipeline bash -o pipefail -c "gbak -b -se localhost:service_mgr -user SYSDBA -password cobweb '$db' stdout |
                                        pigz -9 -K > '$backups/pipeline.zip'"
  measure job "$tools/nuvexa_backup_job" "$install"
  archive=$(cat "$out/job.out")
  record size job "$(stat -c %s "$archive")"
  record size pipeline "$(stat -c %s "$backups/pipeline.zip")"
  rm -f "$archive" "$backups/pipeline.zip"
done

# --- backup request: ours against gbak -b -se ------------------------------------------------
step "backup request for corpus.fdb, $runs runs"
for _ in $(seq "$runs"); do
  measure gbak gbak -b -se localhost:service_mgr -user SYSDBA -password cobweb "$db" "$backups/gbak.fbk"
  measure request "$tools/nuvexa_backup_request" "$db" "$backups/request.fbk"
  rm -f "$backups/gbak.fbk" "$backups/request.fbk"
done

# --- the fake cloud and the central database -------------------------------------------------
tls="$out/tls"
mkdir -m 0700 "$tls"
(
  cd "$tls"
  key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
  openssl req -x509 $key -keyout ca.key -out ca.pem -days 1 -subj /CN=Nuvexa-Bench-CA
  openssl req $key -keyout server.key -out server.csr -subj /CN=127.0.0.1
  echo "subjectAltName=IP:127.0.0.1" >ext.cnf
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile ext.cnf -out server.pem
) >/dev/null 2>&1
cloud_root="$out/cloud"
build-bench/tools/fake-cloud/nuvexa-fake-cloud --root "$cloud_root" --port 0 --content-port 0 \
  --cert "$tls/server.pem" --key "$tls/server.key" --token bench-token >"$out/cloud.txt" 2>&1 &
cloud_pid=$!
for _ in $(seq 100); do
  [ "$(grep -c 'listening on' "$out/cloud.txt" 2>/dev/null)" = 2 ] && break
  sleep 0.1
done
api_port=$(sed -n 's/^listening on //p' "$out/cloud.txt")
content_port=$(sed -n 's/^content listening on //p' "$out/cloud.txt")
if [ -z "$api_port" ] || [ -z "$content_port" ]; then
  echo "bench: the fake cloud did not start:" >&2
  cat "$out/cloud.txt" >&2
  exit 1
fi
mkdir -m 0777 "$out/central"
server_answers
{ echo "SET NAMES UTF8;"
  echo "CREATE DATABASE 'localhost:$central' DEFAULT CHARACTER SET ISO8859_1;"
  cat scripts/sql/central.sql scripts/sql/central-sample.sql; } | isql >/dev/null

export NUVEXA_CENTRAL_SERVER=127.0.0.1 NUVEXA_CENTRAL_DATABASE="$central" NUVEXA_CENTRAL_PASSWORD=cobweb
export NUVEXA_CLOUD_API_URL="https://127.0.0.1:$api_port" NUVEXA_CLOUD_CONTENT_URL="https://127.0.0.1:$content_port"
export NUVEXA_CLOUD_TOKEN=bench-token NUVEXA_CA_FILE="$tls/ca.pem"
unset NUVEXA_CLOUD_REFRESH_TOKEN

# curl_session <cloud path> <pieces...>: the storage API's upload session with curl, as the
# service sends a large file: the first piece starts it, the others are appended, an empty
# finish commits. All but the start in one curl process, over one connection.
curl_session() {
  local target=$1 first=$2; shift 2
  local common=(-sS -f -o /dev/null --cacert "$NUVEXA_CA_FILE" -X POST -H "Authorization: Bearer $NUVEXA_CLOUD_TOKEN"
                -H "Content-Type: application/octet-stream")
  local id offset piece requests=()
  id=$(curl -sS -f --cacert "$NUVEXA_CA_FILE" -X POST -H "Authorization: Bearer $NUVEXA_CLOUD_TOKEN" \
         -H "Content-Type: application/octet-stream" -H 'Dropbox-API-Arg: {"close": false}' -T "$first" \
         "$NUVEXA_CLOUD_CONTENT_URL/2/files/upload_session/start" | sed -n 's/.*"session_id": *"\([^"]*\)".*/\1/p')
  offset=$(stat -c %s "$first")
  for piece in "$@"; do
    requests+=("${common[@]}" -H "Dropbox-API-Arg: {\"cursor\": {\"session_id\": \"$id\", \"offset\": $offset}, \"close\": false}"
               -T "$piece" "$NUVEXA_CLOUD_CONTENT_URL/2/files/upload_session/append_v2" --next)
    offset=$((offset + $(stat -c %s "$piece")))
  done
  curl "${requests[@]}" "${common[@]}" --data-binary '' \
    -H "Dropbox-API-Arg: {\"cursor\": {\"session_id\": \"$id\", \"offset\": $offset}, \"commit\": {\"path\": \"$target\", \"mode\": \"add\", \"autorename\": true}}" \
    "$NUVEXA_CLOUD_CONTENT_URL/2/files/upload_session/finish"
}
# curl_upload <file> <cloud path>: one request, or a session of the service's chunks above
# its single-request limit
curl_upload() {
  if [ "$(stat -c %s "$1")" -le "$single_request_limit" ]; then
    curl -sS -f -o /dev/null --cacert "$NUVEXA_CA_FILE" -X POST -H "Authorization: Bearer $NUVEXA_CLOUD_TOKEN" \
      -H "Content-Type: application/octet-stream" -H "Dropbox-API-Arg: {\"path\": \"$2\", \"mode\": \"add\", \"autorename\": false}" \
      -T "$1" "$NUVEXA_CLOUD_CONTENT_URL/2/files/upload"
  else
    local pieces
    pieces=$(mktemp -d)
    split -b "$session_chunk" -d -a 3 "$1" "$pieces/piece-"
    curl_session "$2" "$pieces"/piece-*
    rm -rf "$pieces"
  fi
}
export -f curl_session curl_upload
export single_request_limit session_chunk
# stored <local file> <cloud path>: the cloud holds the file's bytes there; then it goes
stored() {
  cmp -s "$1" "$cloud_root$2" || { echo "bench: the cloud's $2 is not $1" >&2; exit 1; }
  curl -sS -f -o /dev/null --cacert "$NUVEXA_CA_FILE" -X POST -H "Authorization: Bearer $NUVEXA_CLOUD_TOKEN" \
    -H "Content-Type: application/json" -d "{\"path\": \"$2\"}" "$NUVEXA_CLOUD_API_URL/2/files/delete_v2"
}

# --- upload: 1 GiB in a session, ours against curl -T ----------------------------------------
step "upload of 1 GiB, $runs runs"
head -c "$upload_bytes" /dev/urandom >"$out/upload.bin"
# curl's pieces are cut before the clock starts: ours reads its chunks from the one file
mkdir "$out/pieces"
split -b "$session_chunk" -d -a 3 "$out/upload.bin" "$out/pieces/piece-"
cat "$out/upload.bin" "$out"/pieces/* >/dev/null
for _ in $(seq "$runs"); do
  measure curl bash -c 'curl_session "$@"' _ /bench/curl.bin "$out"/pieces/piece-*
  stored "$out/upload.bin" /bench/curl.bin
  measure upload "$tools/nuvexa_upload" "$out/upload.bin" bench
  stored "$out/upload.bin" /bench/upload.bin
done
rm -rf "$out/upload.bin" "$out/pieces"

# --- activity log: one entry into an empty log and into a 100 MB one -------------------------
step "activity log, $log_entries entries each"
"$tools/nuvexa_activity_log" "$out/log" "$log_entries" "$log_megabytes" >"$out/log.out"
while read -r name value; do record value "$name" "$value"; done <"$out/log.out"
rm -rf "$out/log"

# --- whole cycles: a due one against a script of standard tools, then cycles not due --------
step "due cycle: the script of standard tools"
reference="$out/reference"
mkdir -m 0777 "$reference"
measure script bash -c "set -e
  rm -f '$reference/drovana.zip'
  gbak -b -se localhost:service_mgr -user SYSDBA -password cobweb '$db' '$reference/drovana.fbk'
  gbak -b -se localhost:service_mgr -user SYSDBA -password cobweb '$prescription' '$reference/receita.fbk'
  zip -9 -q -j '$reference/drovana.zip' '$reference/drovana.fbk'
  sleep 5
  rm '$reference/drovana.fbk'
  curl_upload '$reference/drovana.zip' /script/drovana.zip"
stored "$reference/drovana.zip" /script/drovana.zip
rm -rf "$reference"

step "due cycle and 5 cycles not due: ours"
# the last backup forgotten before every attempt, so that the first cycle is due; the
# cycles are timed inside the tool, the process gives the peak memory
measure cycles bash -c "echo 'UPDATE PADRAO SET NUVEXAULTIMOBACKUP = NULL; COMMIT;' |
                          isql-fb -q -b -user SYSDBA -password cobweb 'localhost:$db' >/dev/null &&
                        exec '$tools/nuvexa_cycle' '$install' 6"
grep -q '^cycle 1 due ' "$out/cycles.out" || { echo "bench: the first cycle was not due" >&2; cat "$out/cycles.out" >&2; exit 1; }
[ "$(grep -c ' not-due ' "$out/cycles.out")" = 5 ] || { echo "bench: a later cycle was due" >&2; exit 1; }
uploaded=$(find "$cloud_root/12345678000195" -name 'NuvexaDrovana_*.zip' | head -n 1)
[ -n "$uploaded" ] || { echo "bench: the due cycle stored no archive in the cloud" >&2; exit 1; }
awk '$3 == "due" { print "value cycle_due", $4 } $3 == "not-due" { print "run not_due", $4, 0 }' "$out/cycles.out" >>"$results"

# --- the table -------------------------------------------------------------------------------
awk -v cores="$cores" -v runs="$runs" -v nsec="$neighbour_seconds" -v fbk="$(stat -c %s "$corpus")" -v fdb="$(stat -c %s "$db")" \
    -v upload="$upload_bytes" -v load_start="$load_at_start" -v load_end="$(cut -d' ' -f1-3 /proc/loadavg)" \
    -v cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)" '
  function median(name,   n, i, j, v, t) {
    n = count[name]
    for (i = 1; i <= n; i++) v[i] = wall[name, i]
    for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] > v[j]; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  function mib(kib) { return kib == "" ? "" : sprintf("%.1f", kib / 1024) }
  function verdict(ok) { return ok ? "met" : "NOT met" }
  function row(label, measured, ratio, size, peak, goal) {
    printf "%-40s %12s %7s %7s %9s  %s\n", label, measured, ratio, size, peak, goal
  }
  function seconds(name) { return sprintf("%.2f s", median(name)) }
  function each(name,   i, text) {
    for (i = 1; i <= count[name]; i++) text = text (i > 1 ? " " : "") wall[name, i]
    return name " " text
  }
  $1 == "run" { n = ++count[$2]; wall[$2, n] = $3; if ($4 > peak[$2]) peak[$2] = $4 }
  $1 == "size" { size[$2] = $3 }
  $1 == "value" { value[$2] = $3 }
  $1 == "retry" { retried = retried " " $2 }
  END {
    printf "Nuvexa benchmarks: %d cores (%s); load average %s at the start, %s at the end\n", cores, cpu, load_start, load_end
    printf "corpus.fdb %.0f MiB, its backup corpus.fbk %.0f MiB; upload %.0f MiB of random bytes\n", fdb / 1048576, fbk / 1048576, upload / 1048576
    printf "median of %d runs (peak: the highest run; of a pipeline, its largest process); due cycles once\n\n", runs
    row("", "measured", "ratio", "size", "peak MiB", "goal (ratio = ours / reference)")

    z = median("zip9"); p = median("pigz"); o1 = median("ours1"); oN = median("oursN"); oC = median("oursNcheck")
    row("archive: zip -9", seconds("zip9"), "", "1.0000", mib(peak["zip9"]), "reference")
    row("archive: pigz -9 -K", seconds("pigz"), sprintf("%.2f", p / z), "", mib(peak["pigz"]), "reference (ratio to zip -9)")
    row("archive: ours, 1 thread, writing", seconds("ours1"), sprintf("%.2f", o1 / z), sprintf("%.4f", size["ours1"] / size["zip9"]),
        mib(peak["ours1"]), "<= 1.05 x zip -9: " verdict(o1 / z <= 1.05))
    row("archive: ours, " cores " threads, writing", seconds("oursN"), sprintf("%.2f", oN / p), sprintf("%.4f", size["oursN"] / size["zip9"]),
        mib(peak["oursN"]), "<= 1.0 x pigz, size <= 1.005 x zip -9, peak <= 64 MiB: " \
        verdict(oN / p <= 1.0 && size["oursN"] / size["zip9"] <= 1.005 && peak["oursN"] <= 65536))
    row("  and read back, as the service", seconds("oursNcheck"), sprintf("%.2f", oC / p), sprintf("%.4f", size["oursNcheck"] / size["zip9"]),
        mib(peak["oursNcheck"]), "measured: what the archive step costs the cycle")

    for (t = 1; t <= cores; t += cores - 1) {
      a = value["alone_" t]
      row("neighbour, " t " busy thread(s): alone", sprintf("%d", a), "", "", "", "reference: rounds in " nsec " s")
      split("same|own|own-low", groups, "|")
      split("its group|a group of its own|own group, lowest weight", labels, "|")
      for (k = 1; k <= 3; k++) {
        v = value["ours_" groups[k] "_" t]
        row("  beside ours, " labels[k], sprintf("%d", v), sprintf("%.2f", v / a), "", "",
            sprintf("measured: the neighbour loses %.0f%%", 100 * (1 - v / a)))
      }
      row("  beside pigz -9, a group of its own", sprintf("%d", value["pigz_" t]), sprintf("%.2f", value["pigz_" t] / a), "", "",
          sprintf("comparison (normal priority): it loses %.0f%%", 100 * (1 - value["pigz_" t] / a)))
      if (cores == 1) break
    }

    pl = median("pipeline"); j = median("job")
    row("backup+archive: gbak -se | pigz -9 -K", seconds("pipeline"), "", "1.0000", mib(peak["pipeline"]), "reference")
    row("backup+archive: ours (BackupDrovana)", seconds("job"), sprintf("%.2f", j / pl), sprintf("%.4f", size["job"] / size["pipeline"]),
        mib(peak["job"]), "<= 0.7 x the pipeline: " verdict(j / pl <= 0.7))

    g = median("gbak"); r = median("request")
    row("backup request: gbak -b -se", seconds("gbak"), "", "", mib(peak["gbak"]), "reference")
    row("backup request: ours (TFDIBBackup)", seconds("request"), sprintf("%.2f", r / g), "", mib(peak["request"]),
        "<= 1.05 x gbak: " verdict(r / g <= 1.05))

    c = median("curl"); u = median("upload")
    row("upload 1 GiB: curl -T, session", sprintf("%.0f MiB/s", upload / 1048576 / c), "", "", mib(peak["curl"]),
        sprintf("reference (%.2f s)", c))
    row("upload 1 GiB: ours (UploadInSession)", sprintf("%.0f MiB/s", upload / 1048576 / u), sprintf("%.2f", c / u), "",
        mib(peak["upload"]), sprintf("throughput >= 0.9 x curl, peak <= 64 MiB (%.2f s): ", u) \
        verdict(c / u >= 0.9 && peak["upload"] <= 65536))

    le = value["empty_log_us"]; lf = value["full_log_us"]
    row("log entry: empty log", sprintf("%.1f us", le), "", "", "", "reference; median of " value["entries"] " entries")
    row(sprintf("log entry: %.0f MB log", value["full_log_bytes"] / 1e6), sprintf("%.1f us", lf), sprintf("%.2f", lf / le), "", "",
        "<= 1.25 x empty: " verdict(lf / le <= 1.25))

    s = median("script"); d = value["cycle_due"]
    row("due cycle: script of standard tools", seconds("script"), "", "", mib(peak["script"]), "reference; once")
    row("due cycle: ours (RunCycleNow)", sprintf("%.2f s", d), sprintf("%.2f", d / s), "", mib(peak["cycles"]),
        "<= 0.6 x the script: " verdict(d / s <= 0.6) "; once")
    row("cycle not due: ours", sprintf("%.3f s", median("not_due")), "", "", "", "no reference; median of " count["not_due"] " in one process")

    printf "\nevery run, wall s in run order: %s; %s; %s; %s; %s\n", each("zip9"), each("pigz"), each("ours1"), each("oursN"), each("oursNcheck")
    printf "  %s; %s; %s; %s\n", each("pipeline"), each("job"), each("gbak"), each("request")
    printf "  %s; %s; %s; %s\n", each("curl"), each("upload"), each("script"), each("not_due")
    printf "runs that failed and were tried again:%s\n", retried == "" ? " none" : retried
  }' "$results"
