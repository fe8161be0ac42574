# What the scripts of the tests, tools/demo and the benchmarks share: the programs a script
# needs, checks and their count, bounded waits, the settings file, and the processes a script
# starts (the test billing server, an X server, a session bus), each ended by end_started.
# Sourced; it sets no shell options of its own.

passed=0 failed=0 skipped=0
started_pids=()

need() {  # PACKAGE PROGRAM...: ends the script with one line when a program is missing
  local package=$1 program
  shift
  for program in "$@"; do
    command -v "$program" >/dev/null 2>&1 && continue
    echo "FAIL: $program is missing; it comes with the Debian package $package (tools/bootstrap)" >&2
    exit 1
  done
}

# --- Checks -------------------------------------------------------------------------------

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }  # MESSAGE
skip() { skipped=$((skipped + 1)); echo "SKIP: $*"; }  # WHAT: WHY

check() {  # NAME COMMAND...: counts the command's result as one check
  local name=$1
  shift
  if "$@"; then pass; else fail "$name"; fi
}

report() {  # the closing line; fails when a check did
  local line="$passed passed, $failed failed"
  [ "$skipped" -eq 0 ] || line+=", $skipped skipped"
  echo "$line"
  [ "$failed" -eq 0 ]
}

# --- Waits --------------------------------------------------------------------------------

wait_until() { holds_within $(($1 * 1000000)) 0.05 "${@:2}"; }  # SECONDS COMMAND...
within_ms() { holds_within $(($1 * 1000)) 0.01 "${@:2}"; }  # MILLISECONDS COMMAND...

holds_within() {  # MICROSECONDS STEP COMMAND...: true once the command holds, tried every STEP s
  local deadline=$((${EPOCHREALTIME/./} + $1)) step=$2
  shift 2
  while :; do
    "$@" && return 0
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep "$step"
  done
}

# --- Processes ----------------------------------------------------------------------------

started() { started_pids+=("$@"); }  # PID...: to be ended by end_started

end_started() {  # ends every process started() took, and waits for them
  local pid
  for pid in ${started_pids[@]+"${started_pids[@]}"}; do kill "$pid" 2>/dev/null || true; done
  for pid in ${started_pids[@]+"${started_pids[@]}"}; do
    # One that has not ended 5 s after being asked is named and killed outright: the script
    # always comes to its end.
    if ! wait_until 5 process_ended "$pid"; then
      echo "note: $(ps -o args= -p "$pid" 2>/dev/null | cut -c1-100) did not end on SIGTERM" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
  done
  started_pids=()
  return 0
}

process_ended() {  # PID: gone, or a zombie left to be waited for
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 0
  [ -z "$state" ] || [ "$state" = Z ]
}

# The test billing server ($KESTRION_TEST_SERVER, its data $KESTRION_TEST_DATA) on loopback.
# Leaves in DIR: server.out (its listeners, "NAME URL" a line, then "ready"), requests.log
# (every request as it arrives) and pid; sets server_pid. The arguments are the server's own
# (--account LOGIN:PASSWORD:BALANCE, --stall-login, --http-port, --max-seconds to override
# 1800). With --detached first it runs in a session of its own, to outlive the script.
start_billing_server() {  # DIR [--detached] [SERVER_ARGUMENTS...]
  local dir=$1 launcher=()
  shift
  [ "${1:-}" != --detached ] || { launcher=(setsid); shift; }
  mkdir -p "$dir"
  : >"$dir/requests.log"
  : >"$dir/server.out"
  ${launcher[@]+"${launcher[@]}"} "$KESTRION_TEST_SERVER" --data "$KESTRION_TEST_DATA" \
    --max-seconds 1800 --log "$dir/requests.log" "$@" >"$dir/server.out" 2>"$dir/server.err" </dev/null &
  server_pid=$!
  echo "$server_pid" >"$dir/pid"
  started "$server_pid"
  wait_until 10 grep -q '^ready$' "$dir/server.out" && return 0
  echo "the test billing server did not start: $(head -c 500 "$dir/server.err")" >&2
  return 1
}

server_url() {  # DIR LISTENER (http, https, ...): the listener's address
  awk -v n="$2" '$1 == n { print $2; exit }' "$1/server.out" | grep .
}

# Xvfb on a free display, with any options of Xvfb's after DIR; exports DISPLAY once the
# display answers.
start_xvfb() {  # DIR [XVFB_OPTIONS...]
  rm -f "$1/display"
  Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -dpi 96 "${@:2}" >"$1/display" \
    2>"$1/xvfb.log" &
  xvfb_pid=$!
  started "$xvfb_pid"
  if wait_until 10 test -s "$1/display"; then
    export DISPLAY=:$(head -n 1 "$1/display")
    command -v xwininfo >/dev/null || return 0
    wait_until 10 xwininfo -root >/dev/null 2>&1 && return 0
  fi
  echo "Xvfb did not start: $(tail -n 3 "$1/xvfb.log")" >&2
  return 1
}

# A session bus, as every desktop session has; exports its address.
start_session_bus() {  # DIR
  dbus-daemon --session --nofork --nopidfile --print-address=1 >"$1/bus" 2>"$1/bus.log" &
  started $!
  wait_until 10 test -s "$1/bus" || { echo "the session bus did not start" >&2; return 1; }
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$1/bus")
}

# --- Settings -----------------------------------------------------------------------------

settings_text() {  # VALUE_LINE...: a settings file (regedit syntax) with these values
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kestrion]\n'
  printf '%s\n' "$@"
}

write_settings_file() {  # FILE LOGIN PASSWORD
  mkdir -p "$(dirname "$1")"
  settings_text "\"login\"=\"$2\"" "\"pswd\"=\"$3\"" >"$1"
}
