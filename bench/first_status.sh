#!/usr/bin/env bash
# How fast the desktop program shows its first status, and what it holds in memory then,
# beside the least any Qt tray program costs.
#
#   bench/first_status.sh [RUNS]     (after a build: make build; bench/run runs it too)
#
# Each run starts a fresh Xvfb with trayer and the test billing server on loopback, then, one
# after the other in an order that alternates between runs,
#   - kestrion (from $BUILD/bin, default build/bin), with throwaway settings,
#   - the baseline bench/baseline/minimal_tray ($MINIMAL_TRAY, default $BUILD/bin/minimal_tray):
#     one tray icon, one label with green text shown at once, one plain libcurl GET of the
#     same address at start,
# and measures from the start of each process to
#   - the first request reaching the server (its log line appears; looked for every 5 ms),
#   - the first status on screen (green text found in a screenshot of the program's window;
#     a screenshot takes tens of milliseconds, so this figure is coarser),
# and the resident memory (VmRSS) once the status shows. kestrion-check making the same poll
# without any window is timed in the same runs as well. Each run's figures go into
# $FIGURES/startup.RUN as KEY=VALUE lines (bench/report.py reads them); the medians are printed.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=${BUILD:-build}
minimal_tray=${MINIMAL_TRAY:-$build/bin/minimal_tray}
export KESTRION=$build/bin/kestrion KESTRION_TEST_SERVER=$build/bin/kestrion-test-server
export KESTRION_TEST_DATA=$PWD/tests/data
source tests/support/desktop_session.sh

now_us() { echo "${EPOCHREALTIME/./}"; }  # a shell builtin: no process started to read it

window_geometry() {  # TITLE: WxH+X+Y of the top-level window with that title
  xwininfo -root -tree 2>/dev/null |
    awk -v t="\"$1\":" '$2 == t { print $(NF-1); exit }' | grep .
}

window_has_colour() {  # TITLE HEX: as bar_has_colour, for any window
  local geometry
  geometry=$(window_geometry "$1") || return 1
  import -window root "$session_dir/screen.png" 2>/dev/null || return 1
  convert "$session_dir/screen.png" -crop "$geometry" +repage -format %c histogram:info:- \
    2>/dev/null | grep -qi "#$2"
}

wait_for_request() {  # up to 20 s for the server's log to get a line, looked for every 5 ms
  holds_within 20000000 0.005 test -s "$session_dir/requests.log"
}

stop_program() {
  kill "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
}

# measure NAME SHOWS_STATUS_COMMAND... : the program is already started at $start
measure() {
  local name=$1
  shift
  local request status
  wait_for_request || { echo "run $run: $name sent no request"; exit 1; }
  request=$((($(now_us) - start) / 1000))
  wait_until 20 "$@" || { echo "run $run: $name showed no status"; exit 1; }
  status=$((($(now_us) - start) / 1000))
  printf '%s\n' "${name}_request_ms=$request" "${name}_status_ms=$status" \
    "${name}_rss_kib=$(awk '/^VmRSS/ { print $2 }' "/proc/$program_pid/status")" >>"$figures/startup.$run"
  stop_program
}

run_kestrion() {
  : >"$session_dir/requests.log"
  rm -f "$settings_file" && write_settings demo demo
  start=$(now_us)
  start_program
  measure kestrion bar_has_colour 00FF00
}

run_baseline() {
  : >"$session_dir/requests.log"
  start=$(now_us)
  "$minimal_tray" --get "http://balance.example.net/korvanta/balance_sender?login=demo&pswd=demo&mid=9" \
    >"$session_dir/minimal_tray.log" 2>&1 &
  program_pid=$!
  started "$program_pid"
  measure tray window_has_colour minimal-tray 00FF00
}

work=$(mktemp -d)
figures=${FIGURES:-$work/figures}
mkdir -p "$figures"
trap 'session_end; rm -rf "$work"' EXIT
for run in $(seq "$runs"); do
  # A loaded machine now and then keeps trayer from coming up in time: try that run again.
  for attempt in 1 2 3; do
    session_begin "$work/run$run"
    start_display && start_tray && start_server demo:demo:123.45 && break
    session_end
    [ "$attempt" -lt 3 ] || exit 1
  done
  write_settings demo demo

  start=$(now_us)
  "$build/bin/kestrion-check" >/dev/null
  echo "check_ms=$((($(now_us) - start) / 1000))" >"$figures/startup.$run"

  if [ $((run % 2)) -eq 1 ]; then
    run_kestrion
    run_baseline
  else
    run_baseline
    run_kestrion
  fi
  session_end
done

python3 bench/report.py --medians "$figures" startup
