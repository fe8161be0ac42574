# Functions for starting the real desktop program as a user would: a D-Bus session bus, an
# X server (Xvfb), a notification-area host (trayer), the test billing server as the HTTP
# proxy for the operator's host, and settings in a throwaway home. Sourced by the desktop
# tests and the start-up measurement; every process it starts is ended by session_end.

source "$(dirname "${BASH_SOURCE[0]}")/../script_support.sh"

session_pids=()

need dbus-daemon dbus-daemon
need xvfb Xvfb
need trayer trayer
need x11-utils xwininfo
need imagemagick import convert

session_begin() {  # WORK_DIR
  session_dir=$1
  mkdir -p "$session_dir/home" "$session_dir/config" "$session_dir/data" "$session_dir/runtime"
  chmod 700 "$session_dir/runtime"
  export HOME=$session_dir/home XDG_CONFIG_HOME=$session_dir/config
  export XDG_DATA_HOME=$session_dir/data XDG_RUNTIME_DIR=$session_dir/runtime
  unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM
  unset https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
  settings_file=$XDG_CONFIG_HOME/kestrion/registry.reg
  start_bus
}

start_bus() {  # a session bus, as every desktop session has; exports its address
  dbus-daemon --session --nofork --nopidfile --print-address=1 >"$session_dir/bus" \
    2>"$session_dir/bus.log" &
  session_pids+=($!)
  local n
  for n in $(seq 100); do [ -s "$session_dir/bus" ] && break; sleep 0.05; done
  export DBUS_SESSION_BUS_ADDRESS
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$session_dir/bus")
  [ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { echo "the session bus did not start" >&2; return 1; }
}

session_end() {
  local pid
  for pid in "${session_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${session_pids[@]}"; do wait "$pid" 2>/dev/null; done
  session_pids=()
}

start_display() {  # starts Xvfb on a free display and exports DISPLAY
  Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -dpi 96 >"$session_dir/display" \
    2>"$session_dir/xvfb.log" &
  session_pids+=($!)
  local n
  for n in $(seq 100); do [ -s "$session_dir/display" ] && break; sleep 0.05; done
  export DISPLAY=:$(head -n 1 "$session_dir/display")
  for n in $(seq 100); do xwininfo -root >/dev/null 2>&1 && return 0; sleep 0.05; done
  echo "Xvfb did not start" >&2
  return 1
}

start_tray() {  # a notification area along the top right
  # trayer now and then dies as it starts on a fresh display: then it is started again.
  local attempt n
  for attempt in 1 2 3; do
    trayer --edge top --align right --widthtype pixel --width 160 --height 24 \
      --transparent false --tint 0x303030 >>"$session_dir/trayer.log" 2>&1 &
    tray_pid=$!
    session_pids+=($tray_pid)
    for n in $(seq 200); do
      tray_panel >/dev/null && return 0
      kill -0 "$tray_pid" 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "trayer did not start: $(tail -n 3 "$session_dir/trayer.log")" >&2
  return 1
}

tray_panel() {  # the id of trayer's panel window
  xwininfo -root -tree 2>/dev/null | awk '/"panel": \("panel" "trayer"\)/ { print $1; exit }' |
    grep .
}

tray_docked() {  # true when a Kestrion icon sits in the panel
  local panel
  panel=$(tray_panel) || return 1
  xwininfo -tree -id "$panel" 2>/dev/null | grep -q '"Kestrion": ("kestrion"'
}

start_watcher() {  # a StatusNotifierWatcher of our own (tests/support/sni_watcher.cpp)
  coproc WATCHER { "$SNI_WATCHER" 2>"$session_dir/watcher.log"; }
  # bash unsets WATCHER_PID once it has reaped the watcher; the pid is kept here.
  watcher_pid=$WATCHER_PID
  session_pids+=($watcher_pid)
  local line
  read -r -t 10 line <&"${WATCHER[0]}" && [ "$line" = ready ]
}

watcher_item() {  # waits for an item to register with the watcher
  local line
  read -r -t 10 line <&"${WATCHER[0]}" && [[ $line == item\ * ]]
}

ask_watcher() {  # QUESTION: prints the watcher's answer, the menu's lines included
  local line
  echo "$1" >&"${WATCHER[1]}"
  while read -r -t 10 line <&"${WATCHER[0]}"; do
    echo "$line"
    [[ $line == menu\ * ]] || break
  done
}

start_server() {  # ACCOUNT... [--stall-login LOGIN]; exports http_proxy
  local args=()
  while [ $# -gt 0 ]; do
    case $1 in
      --*) args+=("$1" "$2") && shift 2 ;;
      *) args+=(--account "$1") && shift ;;
    esac
  done
  "$KESTRION_TEST_SERVER" --data "$KESTRION_TEST_DATA" --max-seconds 900 \
    --log "$session_dir/requests.log" "${args[@]}" >"$session_dir/server.out" &
  session_pids+=($!)
  local n
  for n in $(seq 100); do grep -q '^ready$' "$session_dir/server.out" && break; sleep 0.05; done
  export http_proxy
  http_proxy=$(awk '$1 == "http" { print $2 }' "$session_dir/server.out")
  [ -n "$http_proxy" ]
}

write_settings() {  # LOGIN PASSWORD
  mkdir -p "$(dirname "$settings_file")"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Kestrion]\n"login"="%s"\n"pswd"="%s"\n' \
    "$1" "$2" >"$settings_file"
}

start_program() {  # [ARGUMENTS...]: starts kestrion; sets program_pid
  "$KESTRION" "$@" >"$session_dir/kestrion.log" 2>&1 &
  program_pid=$!
  session_pids+=($program_pid)
}

bar_id() {  # the bar window's id
  xwininfo -root -tree 2>/dev/null |
    awk '/^     0x[0-9a-f]+ "Kestrion": \("kestrion" "Kestrion"\)/ { print $1; exit }' | grep .
}

bar_shown() {  # true when the bar is on the screen
  xwininfo -id "$(bar_id)" 2>/dev/null | grep -q 'Map State: IsViewable'
}

tray_icon_centre() {  # X Y of the icon in the notification area
  local panel
  panel=$(tray_panel) || return 1
  xwininfo -tree -id "$panel" 2>/dev/null |
    awk '/"Kestrion": \("kestrion"/ { split($NF, a, "+"); split($(NF-1), s, "[x+]");
                                       print a[2] + s[1] / 2, a[3] + s[2] / 2; exit }' | grep .
}

bar_geometry() {  # WxH+X+Y of the bar window
  xwininfo -root -tree 2>/dev/null |
    awk '/^     0x[0-9a-f]+ "Kestrion": \("kestrion" "Kestrion"\)/ { print $(NF-1); exit }' | grep .
}

bar_has_colour() {  # HEX (e.g. 00FF00): true when the bar shows text in that colour
  local geometry
  geometry=$(bar_geometry) || return 1
  import -window root "$session_dir/screen.png" 2>/dev/null || return 1
  convert "$session_dir/screen.png" -crop "$geometry" +repage -format %c histogram:info:- \
    2>/dev/null | grep -qi "#$1"
}

within_ms() {  # MILLISECONDS COMMAND...: true when the command holds within that time
  local start=${EPOCHREALTIME/./} limit=$(($1 * 1000))
  shift
  while [ $((${EPOCHREALTIME/./} - start)) -le "$limit" ]; do
    "$@" && return 0
    sleep 0.01
  done
  return 1
}

wait_until() {  # SECONDS COMMAND...: polls the command every 50 ms
  local deadline=$((SECONDS + $1))
  shift
  while [ "$SECONDS" -lt "$deadline" ]; do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}
