#!/usr/bin/env bash
# Runs the Windows test executable under Wine against the fake cloud running natively on
# 127.0.0.1, made for this run and stopped at its end: a trusted server, one whose
# certificate comes from an authority the test CA file does not hold, one with the CA's
# certificate for another host name, one that speaks TLS 1.3 only, a plain-HTTP one, and
# one that echoes the head of each request.
#
#   scripts/windows-cloud-test.sh [TEST.exe [gtest arguments...]]
#
# TEST.exe defaults to build-windows/tests/windows/windows_platform_tests.exe. Settings:
# NUVEXA_FAKE_CLOUD (default build/tools/fake-cloud/nuvexa-fake-cloud), WINE (default wine64),
# WINEPREFIX as for any Wine program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
test_exe=${1:-$root/build-windows/tests/windows/windows_platform_tests.exe}
[ $# -gt 0 ] && shift
fake_cloud=${NUVEXA_FAKE_CLOUD:-$root/build/tools/fake-cloud/nuvexa-fake-cloud}
wine=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
for needed in "$test_exe" "$fake_cloud"; do
  [ -e "$needed" ] || { echo "windows-cloud-test.sh: $needed is missing; build it first" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The certificates of tests/support's TestCertificates: a CA and its certificate for
# 127.0.0.1, a second CA with one for 127.0.0.1 too, and the first CA's for another host.
# The address is named as a DNS name too: Wine's crypt32 matches no IP address entry.
(
  cd "$work"
  key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  echo "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1" > ext.cnf
  echo "subjectAltName=DNS:backup.example.net" > other-host.cnf
  openssl req -x509 "${key[@]}" -keyout ca.key -out ca.pem -days 1 -subj /CN=Nuvexa-Test-CA
  openssl req -x509 "${key[@]}" -keyout other-ca.key -out other-ca.pem -days 1 -subj /CN=Other-CA
  openssl req "${key[@]}" -keyout server.key -out server.csr -subj /CN=127.0.0.1
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile ext.cnf -out server.pem
  openssl x509 -req -in server.csr -CA other-ca.pem -CAkey other-ca.key -CAcreateserial -days 1 -extfile ext.cnf \
    -out unknown-ca.pem
  openssl req "${key[@]}" -keyout other-host.key -out other-host.csr -subj /CN=backup.example.net
  openssl x509 -req -in other-host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile other-host.cnf \
    -out other-host.pem
) > "$work/openssl.log" 2>&1 || { cat "$work/openssl.log" >&2; exit 1; }

# start NAME URL-VARIABLE SCHEME [server options...]: one server on a free port, its URL exported.
start() {
  local name=$1 variable=$2 scheme=$3
  shift 3
  mkdir -p "$work/cloud/$name"
  "$fake_cloud" --root "$work/cloud/$name/root" --port 0 --log "$work/cloud/$name/requests.jsonl" "$@" \
    > "$work/cloud/$name/stdout" 2> "$work/cloud/$name/stderr" &
  pids+=($!)
  local port=""
  for _ in $(seq 100); do  # at most 10 s
    port=$(sed -n 's/^listening on \([0-9]*\)$/\1/p' "$work/cloud/$name/stdout")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "the fake cloud '$name' did not start:" >&2; cat "$work/cloud/$name/stderr" >&2; exit 1; }
  export "$variable=$scheme://127.0.0.1:$port"
}
start trusted NUVEXA_TEST_TRUSTED_URL https --cert "$work/server.pem" --key "$work/server.key"
start unknown-ca NUVEXA_TEST_UNKNOWN_CA_URL https --cert "$work/unknown-ca.pem" --key "$work/server.key"
start other-host NUVEXA_TEST_OTHER_HOST_URL https --cert "$work/other-host.pem" --key "$work/other-host.key"
start tls13 NUVEXA_TEST_TLS13_URL https --cert "$work/server.pem" --key "$work/server.key" --tls13-only
start plain NUVEXA_TEST_PLAIN_URL http

# A plain-HTTP server that answers every request with the request's head as it arrived,
# for what the fake cloud's parser does not keep (a header with an empty value).
python3 -u - > "$work/echo.port" <<'PYTHON' &
import socket
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
print(server.getsockname()[1], flush=True)
while True:
    connection, _ = server.accept()
    with connection:
        connection.settimeout(10)
        data = b""
        while b"\r\n\r\n" not in data:
            piece = connection.recv(65536)
            if not piece:
                break
            data += piece
        head, _, body = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value)
        while len(body) < length:
            piece = connection.recv(65536)
            if not piece:
                break
            body += piece
        answer = head + b"\r\n"
        connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                           str(len(answer)).encode() + b"\r\n\r\n" + answer)
PYTHON
pids+=($!)
for _ in $(seq 100); do [ -s "$work/echo.port" ] && break; sleep 0.1; done
[ -s "$work/echo.port" ] || { echo "the echo server did not start" >&2; exit 1; }
export NUVEXA_TEST_ECHO_URL="http://127.0.0.1:$(cat "$work/echo.port")"

# Wine's drive Z: is the root of the build machine.
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
export NUVEXA_CA_FILE=$(windows_path "$work/ca.pem")
export NUVEXA_TEST_OTHER_CA_FILE=$(windows_path "$work/other-ca.pem")
export NUVEXA_TEST_CLOUD_DIR=$(windows_path "$work/cloud")
export WINEDEBUG=${WINEDEBUG:--all}

status=0
"$wine" "$test_exe" "$@" || status=$?
exit $status
