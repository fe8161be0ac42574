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
source "$(dirname "$0")/../support/script_support.sh"
action=$1 state=$2
case "$action" in
  start)
    export KESTRION_TEST_SERVER=$3 KESTRION_TEST_DATA=$4
    "$0" stop "$state" 2>/dev/null || true
    start_billing_server "$state" --detached --account demo:demo:123.45 --stall-login stall
    grep -v '^ready$' "$state/server.out" >"$state/urls"
    ;;
  stop)
    [ -f "$state/pid" ] || exit 0
    kill "$(cat "$state/pid")" 2>/dev/null || true
    rm -f "$state/pid"
    ;;
esac
