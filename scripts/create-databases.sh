#!/usr/bin/env bash
# Creates the sample pharmacy database QUORVO.FDB and the digital-prescription database
# RECEITADIGITAL.FDB in a folder, on the local Firebird server (which must be running:
# scripts/firebird.sh start). Existing files are replaced.
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
  local file=$1 script=$2
  rm -f "$folder/$file"
  {
    echo "SET NAMES UTF8;"
    echo "CREATE DATABASE 'localhost:$folder/$file' USER 'SYSDBA' PASSWORD '$password' DEFAULT CHARACTER SET ISO8859_1;"
    cat "$script"
  } | isql-fb -q -b
}

create QUORVO.FDB "$sql_dir/pharmacy.sql"
create RECEITADIGITAL.FDB "$sql_dir/prescription.sql"
echo "created $folder/QUORVO.FDB and $folder/RECEITADIGITAL.FDB"
