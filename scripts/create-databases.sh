#!/usr/bin/env bash
# Creates the sample databases in a folder, on the local Firebird server (which must be
# running: scripts/firebird.sh start): the pharmacy database QUORVO.FDB with some megabytes
# of sample rows, the digital-prescription database RECEITADIGITAL.FDB and the maker's
# central database CENTRAL.FDB with a client row for the sample company. Existing files
# are replaced.
#   usage: create-databases.sh <folder> [sysdba-password]
set -euo pipefail

folder=${1:?usage: create-databases.sh <folder> [sysdba-password]}
password=${2:-cobweb}
sql_dir="$(cd "$(dirname "$0")" && pwd)/sql"

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
# the server opens and writes these files in its own account
chgrp firebird "$folder" && chmod 2770 "$folder"

create() {
  local file=$1; shift
  rm -f "$folder/$file"
  {
    echo "SET NAMES UTF8;"
    echo "CREATE DATABASE 'localhost:$folder/$file' USER 'SYSDBA' PASSWORD '$password' DEFAULT CHARACTER SET ISO8859_1;"
    cat "$@"
  } | isql-fb -q -b
}

create QUORVO.FDB "$sql_dir/pharmacy.sql" "$sql_dir/pharmacy-sample-rows.sql"
create RECEITADIGITAL.FDB "$sql_dir/prescription.sql"
create CENTRAL.FDB "$sql_dir/central.sql" "$sql_dir/central-sample.sql"
echo "created QUORVO.FDB, RECEITADIGITAL.FDB and CENTRAL.FDB in $folder"
