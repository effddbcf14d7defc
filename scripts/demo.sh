#!/usr/bin/env bash
# Sets up the local demo installation and runs one backup cycle of the service there, with
# the cloud copy on: installs the packages, starts the local Firebird server, builds
# build/nuvexa and the fake cloud, creates the sample pharmacy, digital-prescription and
# central databases in demo/dados/, starts nuvexa-fake-cloud over HTTPS (a CA of its own,
# an API host and a content host on loopback), writes quorvo.ini beside a copy of the
# executable in demo/, runs `nuvexa -ONCE` and shows what it did. Run from anywhere, as root.
# Running it again keeps the databases, the backups and the cloud's files; right after a
# backup the next run finds none due.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
demo="$root/demo"
cloud="$demo/nuvem"

bash scripts/deps.sh >/dev/null
bash scripts/firebird.sh start

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target nuvexa nuvexa-fake-cloud >/dev/null

# the executable's folder is root's; the service shares only the backup folders with the
# server, which it creates itself
mkdir -p "$demo"
chown root:root "$demo" && chmod 0755 "$demo"
mkdir -p "$demo/copias"
cp build/nuvexa "$demo/nuvexa"
if [ ! -f "$demo/dados/QUORVO.FDB" ] || [ ! -f "$demo/dados/CENTRAL.FDB" ]; then
  bash scripts/create-databases.sh "$demo/dados" >/dev/null
fi

# The stand-in for the storage service, with a certificate for 127.0.0.1 from a CA of its own.
mkdir -p "$cloud/arquivos"
chmod 0700 "$cloud"
if [ ! -f "$cloud/ca.pem" ]; then
  (
    cd "$cloud"
    key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
    openssl req -x509 $key -keyout ca.key -out ca.pem -days 3650 -subj /CN=Nuvexa-Demo-CA
    openssl req $key -keyout server.key -out server.csr -subj /CN=127.0.0.1
    echo "subjectAltName=IP:127.0.0.1" > ext.cnf
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 -extfile ext.cnf -out server.pem
  ) >/dev/null 2>&1
fi
build/tools/fake-cloud/nuvexa-fake-cloud --root "$cloud/arquivos" --port 0 --content-port 0 \
  --cert "$cloud/server.pem" --key "$cloud/server.key" --token demo-token --log "$cloud/pedidos.jsonl" \
  > "$cloud/saida.txt" 2>&1 &
cloud_pid=$!
trap 'kill "$cloud_pid" 2>/dev/null; wait "$cloud_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ "$(grep -c 'listening on' "$cloud/saida.txt" 2>/dev/null)" = 2 ] && break
  sleep 0.1
done
api_port=$(sed -n 's/^listening on //p' "$cloud/saida.txt")
content_port=$(sed -n 's/^content listening on //p' "$cloud/saida.txt")
if [ -z "$api_port" ] || [ -z "$content_port" ]; then
  echo "the fake cloud did not start:" >&2
  cat "$cloud/saida.txt" >&2
  exit 1
fi

cat > "$demo/quorvo.ini" <<INI
[Quorvo]
Servidor=localhost
Caminho=$demo/dados/QUORVO.FDB
PastaExternaBackupDrovana=$demo/copias
INI

export NUVEXA_CENTRAL_SERVER=127.0.0.1
export NUVEXA_CENTRAL_DATABASE="$demo/dados/CENTRAL.FDB"
export NUVEXA_CENTRAL_PASSWORD=cobweb
export NUVEXA_CLOUD_API_URL="https://127.0.0.1:$api_port"
export NUVEXA_CLOUD_CONTENT_URL="https://127.0.0.1:$content_port"
export NUVEXA_CLOUD_TOKEN=demo-token
export NUVEXA_CA_FILE="$cloud/ca.pem"

last_backup() {
  echo "SET HEADING OFF; SELECT NUVEXAULTIMOBACKUP FROM PADRAO;" |
    isql-fb -q -user SYSDBA -password cobweb "localhost:$demo/dados/QUORVO.FDB" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'
}
before=$(last_backup)

echo "== nuvexa -ONCE in $demo (cloud: API host port $api_port, content host port $content_port)"
set +e
"$demo/nuvexa" -ONCE
status=$?
set -e
echo "== exit status: $status (0: the cycle logged nothing)"
after=$(last_backup)
echo "== last backup recorded in PADRAO: $after"
if [ "$before" = "$after" ]; then
  echo "   no backup was due: the last one is less than the interval (NUVEXAINTERVALO, 360 minutes) old;"
  echo "   set PADRAO.NUVEXAULTIMOBACKUP to NULL to make one due"
fi
echo "== backups beside the executable"
ls -l "$demo/BACKUP DROVANA" "$demo/BACKUP RECEITA DIGITAL" "$demo/copias" 2>/dev/null | sed 's/^/   /'
echo "== the company's cloud folder (/12345678000195)"
ls -l "$cloud/arquivos/12345678000195" 2>/dev/null | sed 's/^/   /' || echo "   (not there)"
echo "== archives the retention deleted, as recorded in the central database"
echo "SET HEADING OFF; SELECT ARQUIVOEXCLUIDO FROM LOG_EXCLUSAO_NUVEXA ORDER BY SEQUENCIAL;" |
  isql-fb -q -user SYSDBA -password cobweb "localhost:$demo/dados/CENTRAL.FDB" | sed '/^ *$/d; s/^/   /'
if [ -f "$demo/Nuvexa.log" ]; then
  echo "== Nuvexa.log (last lines)"
  tail -n 5 "$demo/Nuvexa.log" | iconv -f WINDOWS-1252 -t UTF-8
else
  echo "== Nuvexa.log: none (nothing went wrong)"
fi
exit "$status"
