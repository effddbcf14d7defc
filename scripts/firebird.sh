#!/usr/bin/env bash
# Starts, stops or reports the local Firebird 3 server (Debian's firebird3.0-server) on
# 127.0.0.1:3050, run as the firebird user, with SYSDBA's password set to the service's
# first local password. Idempotent: works on a running server and whatever password
# SYSDBA was left with.
set -euo pipefail

PASSWORD=cobweb
KNOWN_PASSWORDS=(cobweb quindowel masterkey)
RUN_DIR=/run/firebird3.0
SEC_DB=/var/lib/firebird/3.0/system/security3.fdb
PKG_PASSWORD_FILE=/etc/firebird/3.0/SYSDBA.password

as_firebird() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u firebird -- "$@"; else sudo -u firebird "$@"; fi
}

package_password() {
  [ -r "$PKG_PASSWORD_FILE" ] || return 0
  sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$PKG_PASSWORD_FILE"
}

answers() {
  # the service manager answers anyone; a wrong password still proves the server is up
  local out
  out=$(fbsvcmgr localhost/3050:service_mgr -user SYSDBA -password "${1:-x}" -info_server_version 2>&1) && return 0
  case "$out" in *"Your user name and password are not defined"*|*"password"*) return 0 ;; esac
  return 1
}

password_works() {
  fbsvcmgr localhost/3050:service_mgr -user SYSDBA -password "$1" -info_server_version >/dev/null 2>&1
}

running() { pgrep -u firebird -x firebird >/dev/null 2>&1; }

wait_until_answering() {
  for _ in $(seq 1 100); do
    answers && return 0
    sleep 0.2
  done
  echo "firebird: the server does not answer on 127.0.0.1:3050" >&2
  return 1
}

start_server() {
  if ! running; then
    install -d -o firebird -g firebird -m 0775 "$RUN_DIR"
    as_firebird /usr/sbin/fbguard -daemon -forever
  fi
  wait_until_answering
}

stop_server() {
  pkill -u firebird -x fbguard 2>/dev/null || true
  pkill -u firebird -x firebird 2>/dev/null || true
  for _ in $(seq 1 50); do running || return 0; sleep 0.2; done
  pkill -9 -u firebird -x firebird 2>/dev/null || true
}

set_password() {
  local current=""
  local candidates=("${KNOWN_PASSWORDS[@]}")
  local pkg; pkg=$(package_password)
  [ -n "$pkg" ] && candidates+=("$pkg")
  for p in "${candidates[@]}"; do
    if password_works "$p"; then current=$p; break; fi
  done
  if [ "$current" = "$PASSWORD" ]; then return 0; fi
  if [ -n "$current" ]; then
    fbsvcmgr localhost/3050:service_mgr -user SYSDBA -password "$current" \
      -action_modify_user -sec_username SYSDBA -sec_password "$PASSWORD" >/dev/null
  else
    # nobody knows the password: an embedded connection to the security database needs
    # none, but the server holds that file exclusively, so it must be down meanwhile
    stop_server
    echo "CREATE OR ALTER USER SYSDBA PASSWORD '$PASSWORD'; COMMIT;" |
      as_firebird isql-fb -q -user SYSDBA "$SEC_DB" >/dev/null
    start_server
  fi
  password_works "$PASSWORD" || { echo "firebird: could not set SYSDBA's password" >&2; return 1; }
}

case "${1:-}" in
  start)
    start_server
    set_password
    echo "firebird: running on 127.0.0.1:3050, SYSDBA password '$PASSWORD'"
    ;;
  stop)
    stop_server
    echo "firebird: stopped"
    ;;
  status)
    if running && answers; then echo "firebird: running"; else echo "firebird: not running"; exit 3; fi
    ;;
  *)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
