#!/usr/bin/env bash
# Makes the benchmarks' input: a pharmacy-like Firebird database of about the size asked
# (products, sales with their items, prescriptions: text, numbers and dates) in
# <folder>/corpus.fdb, and its gbak backup <folder>/corpus.fbk. The benchmarks archive the
# backup and back up the database, which stays for them (owned by the Firebird server).
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
chmod 0777 "$folder"  # the server writes the database and its backup there
db="$folder/corpus.fdb"
isql() { isql-fb -q -b -user SYSDBA -password cobweb "$@"; }
# an earlier corpus goes first; dropped through the server, which may still hold it open
if [ -f "$db" ]; then
  echo "DROP DATABASE;" | isql "localhost:$db" >/dev/null 2>&1 || rm -f "$db"
fi

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
gbak -b -user SYSDBA -password cobweb -se localhost:service_mgr "$db" "$folder/corpus.fbk"
echo "bench-corpus: $db, $(stat -c %s "$db") bytes, from $(( (next - 1) )) sales; its backup $folder/corpus.fbk, $(stat -c %s "$folder/corpus.fbk") bytes"
