#!/usr/bin/env bash
# Starts or stops the native test billing server for tests that run elsewhere (the Windows
# binaries under Wine), so they reach it on loopback like any client.
#
#   server_fixture.sh start STATE_DIR SERVER_BINARY DATA_DIR
#   server_fixture.sh stop STATE_DIR
#
# start leaves in STATE_DIR: urls (one "NAME URL" line per listener), requests.log (every
# request as it arrives, see server_main.cpp) and pid.
set -euo pipefail
action=$1 state=$2
case "$action" in
  start)
    server=$3 data=$4
    mkdir -p "$state"
    "$0" stop "$state" 2>/dev/null || true
    : >"$state/requests.log"
    setsid "$server" --data "$data" --max-seconds 1800 --log "$state/requests.log" \
      --account demo:demo:123.45 --stall-login stall >"$state/server.out" 2>"$state/server.err" </dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 100); do grep -q '^ready$' "$state/server.out" && break; sleep 0.05; done
    grep -v '^ready$' "$state/server.out" >"$state/urls"
    grep -q '^http ' "$state/urls"
    ;;
  stop)
    [ -f "$state/pid" ] || exit 0
    kill "$(cat "$state/pid")" 2>/dev/null || true
    rm -f "$state/pid"
    ;;
esac
