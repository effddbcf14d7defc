#!/usr/bin/env bash
# Makes the benchmarks' input: a pharmacy-like Firebird database of about the size asked
# (products, sales with their items, prescriptions: text, numbers and dates), backed up with
# gbak into <folder>/corpus.fbk, which the benchmarks read. The database itself is dropped.
#
#   scripts/bench-corpus.sh [megabytes] [folder]      (default 512, bench/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."

megabytes=${1:-512}
folder=$(realpath -m "${2:-bench/corpus}")
if ! [[ "$megabytes" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/bench-corpus.sh [megabytes] [folder]" >&2
  exit 2
fi

bash scripts/deps.sh >/dev/null
bash scripts/firebird.sh start >/dev/null
mkdir -p "$folder"
work=$(mktemp -d)
chmod 0777 "$work"  # the server writes the database there
trap 'rm -rf "$work"' EXIT
db="$work/CORPUS.FDB"
isql() { isql-fb -q -b -user SYSDBA -password cobweb "$@"; }

{
  echo "SET NAMES UTF8;"
  echo "CREATE DATABASE 'localhost:$db' PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;"
  cat scripts/sql/pharmacy.sql scripts/sql/pharmacy-sample-rows.sql
} | isql >/dev/null

# batches of 50,000 sales until the database has the size asked
next=40001
while [ "$(stat -c %s "$db")" -lt $((megabytes * 1024 * 1024)) ]; do
  last=$((next + 49999))
  { echo "SET NAMES UTF8;"; echo "CONNECT 'localhost:$db';"
    sed "s/@FROM@/$next/g; s/@TO@/$last/g" scripts/sql/corpus-batch.sql; } | isql >/dev/null
  next=$((last + 1))
  echo "bench-corpus: $(($(stat -c %s "$db") / 1024 / 1024)) MiB of $megabytes"
done

rm -f "$folder/corpus.fbk"
chmod 0777 "$folder"
gbak -b -user SYSDBA -password cobweb -se localhost:service_mgr "$db" "$folder/corpus.fbk"
echo "DROP DATABASE;" | isql "localhost:$db" >/dev/null 2>&1 || true
echo "bench-corpus: $folder/corpus.fbk, $(stat -c %s "$folder/corpus.fbk") bytes, from $(( (next - 1) )) sales"
