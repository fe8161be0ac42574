#!/usr/bin/env bash
# How fast the desktop program shows its first status, and what it holds in memory then.
#
#   bench/first_status.sh [RUNS]     (after a build: make build)
#
# Each run starts build/bin/kestrion in a fresh Xvfb with trayer, against the test billing
# server on loopback, and measures from the start of the process to
#   - the first request reaching the server (the server's log line appears),
#   - the first status on screen (green text found in a screenshot of the bar; screenshots are
#     taken every 50 ms, so this figure is coarser),
# and the resident memory (VmRSS) once the status shows. The baseline, measured in the same
# run, is kestrion-check making the same poll without any window. Medians are printed.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
build=${BUILD:-build}
export KESTRION=$build/bin/kestrion KESTRION_TEST_SERVER=$build/bin/kestrion-test-server
export KESTRION_TEST_DATA=$PWD/tests/data
source tests/app/desktop_session.sh

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

work=$(mktemp -d)
trap 'session_end; rm -rf "$work"' EXIT
: >"$work/request_ms" >"$work/status_ms" >"$work/rss_kib" >"$work/check_ms"
for run in $(seq "$runs"); do
  session_begin "$work/run$run"
  start_display && start_tray && start_server demo:demo:123.45 || exit 1
  write_settings demo demo

  start=$(now_ms)
  "$build/bin/kestrion-check" >/dev/null
  echo $(($(now_ms) - start)) >>"$work/check_ms"
  : >"$session_dir/requests.log"

  start=$(now_ms)
  start_program
  wait_until 20 grep -q . "$session_dir/requests.log" || { echo "run $run: no request"; exit 1; }
  echo $(($(now_ms) - start)) >>"$work/request_ms"
  wait_until 20 bar_has_colour 00FF00 || { echo "run $run: no status"; exit 1; }
  echo $(($(now_ms) - start)) >>"$work/status_ms"
  awk '/^VmRSS/ { print $2 }' "/proc/$program_pid/status" >>"$work/rss_kib"
  session_end
done

echo "kestrion, $runs runs, medians:"
echo "  start to first request at the server: $(median <"$work/request_ms") ms"
echo "  start to first status on screen:      $(median <"$work/status_ms") ms (50 ms steps)"
echo "  resident memory after it:             $(median <"$work/rss_kib") KiB"
echo "baseline, kestrion-check (one poll, no window), same runs:"
echo "  whole process:                        $(median <"$work/check_ms") ms"
echo "ratio, first request / baseline:        $(awk -v a="$(median <"$work/request_ms")" \
  -v b="$(median <"$work/check_ms")" 'BEGIN { printf "%.1f", a / b }')"
