#!/usr/bin/env bash
# Sets up the local demo installation and runs one backup cycle of the service there:
# installs the packages, starts the local Firebird server, builds build/nuvexa, creates the
# sample pharmacy and digital-prescription databases in demo/dados/, writes quorvo.ini
# beside a copy of the executable in demo/, runs `nuvexa -ONCE` and shows what it did.
# Run from anywhere, as root. Running it again keeps the databases and the backups made.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
demo="$root/demo"

bash scripts/deps.sh >/dev/null
bash scripts/firebird.sh start

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target nuvexa >/dev/null

# the server writes the backups beside the executable through its group
mkdir -p "$demo"
chgrp firebird "$demo" && chmod 2770 "$demo"
mkdir -p "$demo/copias"
cp build/nuvexa "$demo/nuvexa"
if [ ! -f "$demo/dados/QUORVO.FDB" ]; then
  bash scripts/create-databases.sh "$demo/dados" >/dev/null
fi

cat > "$demo/quorvo.ini" <<INI
[Quorvo]
Servidor=localhost
Caminho=$demo/dados/QUORVO.FDB
DesativarNuvexa=1
PastaExternaBackupDrovana=$demo/copias
INI

echo "== nuvexa -ONCE in $demo"
set +e
"$demo/nuvexa" -ONCE
status=$?
set -e
echo "== exit status: $status (0: the cycle logged nothing)"
echo "== files beside the executable"
find "$demo" -path "$demo/dados" -prune -o -type f -newer "$demo/quorvo.ini" -print | sort
echo "== last backup recorded in PADRAO"
echo "SELECT NUVEXAULTIMOBACKUP FROM PADRAO;" |
  isql-fb -q -user SYSDBA -password cobweb "localhost:$demo/dados/QUORVO.FDB"
if [ -f "$demo/Nuvexa.log" ]; then
  echo "== Nuvexa.log (last lines)"
  tail -n 5 "$demo/Nuvexa.log" | iconv -f WINDOWS-1252 -t UTF-8
fi
exit "$status"
