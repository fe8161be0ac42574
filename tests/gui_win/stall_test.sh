#!/usr/bin/env bash
# kestrion.exe against a billing server that takes the request and never answers: the bar
# goes on answering, the end of the session saves its place, and closing it does not wait
# for the request.
# Usage: stall_test.sh WINE_RUN KESTRION_EXE BAR_PROBE_EXE SERVER_STATE
set -uo pipefail
wine=$1 kestrion=$2 probe=$3 state=$4
source "$(dirname "$0")/../script_support.sh"

unset https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
export http_proxy
http_proxy=$(awk '$1 == "http" { print $2 }' "$state/urls")
key='HKCU\Software\Kestrion'

# Starts kestrion.exe with these credentials and waits for its request at the server.
start() {  # LOGIN
  "$wine" reg delete "$key" /f >/dev/null 2>&1
  "$wine" reg add "$key" /v login /t REG_SZ /d "$1" /f >/dev/null 2>&1
  "$wine" reg add "$key" /v pswd /t REG_SZ /d "$1" /f >/dev/null 2>&1
  local before
  before=$(grep -c "login=$1&" "$state/requests.log")
  "$wine" "$kestrion" &
  program=$!
  for _ in $(seq 300); do
    [ "$(grep -c "login=$1&" "$state/requests.log")" -gt "$before" ] && return 0
    sleep 0.1
  done
  return 1
}

# Closes the bar and waits for the program's end: its status, and the milliseconds it took.
close() {
  local started=${EPOCHREALTIME/./}
  "$wine" "$probe" close >/dev/null
  wait "$program"
  status=$?
  elapsed=$(((${EPOCHREALTIME/./} - started) / 1000))
}
trap 'kill "$program" 2>/dev/null' EXIT

# How long closing takes when the server answers: under Wine without a window manager most
# of it is Wine waiting for the windows to be withdrawn.
start demo
sleep 1
close
answered=$elapsed

check "the request reaches the stalled server" start stall
worst=0
for _ in 1 2 3 4 5; do
  took=$("$wine" "$probe" ping | tr -d '\r')
  [ "$took" = hung ] && took=99999
  [ "$took" -gt "$worst" ] && worst=$took
done
echo "slowest answer to WM_NULL during the stall: $worst ms"
check "meanwhile the bar answers WM_NULL within 100 ms" [ "$worst" -le 100 ]

"$wine" "$probe" endsession >/dev/null
check "the end of the session saves the geometry" \
  sh -c "'$wine' reg query '$key' /v Top 2>/dev/null | grep -q REG_DWORD"

close
echo "closing took $elapsed ms during the stall, $answered ms with an answering server"
check "closing it during the stall ends it with status 0" [ "$status" -eq 0 ]
check "and the stall adds less than 1 s to it" [ $((elapsed - answered)) -lt 1000 ]
"$wine" reg delete "$key" /f >/dev/null 2>&1
report
