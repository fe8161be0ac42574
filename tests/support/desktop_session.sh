# Functions for starting the real desktop program as a user would: a D-Bus session bus, an
# X server (Xvfb), a notification-area host (trayer) or GNOME Shell, the test billing server
# as the HTTP proxy for the operator's host, and settings in a throwaway home. Sourced by the
# desktop tests and the benchmarks; every process it starts is ended by session_end.

source "$(dirname "${BASH_SOURCE[0]}")/script_support.sh"

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
  start_session_bus "$session_dir"
}

session_end() { end_started; }

start_display() { start_xvfb "$session_dir"; }  # exports DISPLAY; sets xvfb_pid

start_tray() {  # a notification area along the top right
  # trayer now and then dies as it starts on a fresh display: then it is started again.
  local attempt
  for attempt in 1 2 3; do
    trayer --edge top --align right --widthtype pixel --width 160 --height 24 \
      --transparent false --tint 0x303030 >>"$session_dir/trayer.log" 2>&1 &
    tray_pid=$!
    started "$tray_pid"
    wait_until 10 tray_up_or_gone
    tray_panel >/dev/null && return 0
  done
  echo "trayer did not start: $(tail -n 3 "$session_dir/trayer.log")" >&2
  return 1
}

tray_up_or_gone() { tray_panel >/dev/null || ! kill -0 "$tray_pid" 2>/dev/null; }

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
  started "$watcher_pid"
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
  start_billing_server "$session_dir" --max-seconds 900 "${args[@]}" || return 1
  export http_proxy
  http_proxy=$(server_url "$session_dir" http)
}

write_settings() { write_settings_file "$settings_file" "$@"; }  # LOGIN PASSWORD

start_program() {  # [ARGUMENTS...]: starts kestrion; sets program_pid
  "$KESTRION" "$@" >"$session_dir/kestrion.log" 2>&1 &
  program_pid=$!
  started "$program_pid"
}

bar_id() {  # the bar window's id, at any depth: a window manager may have framed it
  local id
  for id in $(xwininfo -root -tree 2>/dev/null |
              awk '/^ +0x[0-9a-f]+ "Kestrion": \("kestrion" "Kestrion"\)/ { print $1 }'); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_UTILITY &&
      echo "$id" && return 0
  done
  return 1
}

bar_shown() {  # true when the bar is on the screen
  local id
  # Without an id xwininfo would wait for a click on the window it is to describe.
  id=$(bar_id) || return 1
  xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'
}

bar_hidden() { ! bar_shown; }

tray_icon_centre() {  # X Y of the icon in the notification area
  local panel
  panel=$(tray_panel) || return 1
  xwininfo -tree -id "$panel" 2>/dev/null |
    awk '/"Kestrion": \("kestrion"/ { split($NF, a, "+"); split($(NF-1), s, "[x+]");
                                       print a[2] + s[1] / 2, a[3] + s[2] / 2; exit }' | grep .
}

bar_geometry() {  # WxH+X+Y of the bar window, X and Y on the screen
  local id
  id=$(bar_id) || return 1
  xwininfo -id "$id" 2>/dev/null | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ +Width:/ { w = $NF } /^ +Height:/ { h = $NF } END { if (w) print w "x" h "+" x "+" y }' | grep .
}

bar_outer() {  # X,Y of the outer corner the user sees: a frame's, where a manager drew one
  local id parent
  id=$(bar_id) || return 1
  while parent=$(xwininfo -children -id "$id" 2>/dev/null | awk '/Parent window id:/ { print $4 }') &&
        [ -n "$parent" ] && ! xwininfo -children -id "$parent" | grep -q 'Parent window id: 0x0 '; do
    id=$parent
  done
  xwininfo -id "$id" 2>/dev/null | awk '/Absolute upper-left X/ { x = $NF }
    /Absolute upper-left Y/ { y = $NF } END { print x "," y }'
}

bar_has_colour() {  # HEX (e.g. 00FF00): true when the bar shows text in that colour
  local geometry
  geometry=$(bar_geometry) || return 1
  import -window root "$session_dir/screen.png" 2>/dev/null || return 1
  convert "$session_dir/screen.png" -crop "$geometry" +repage -format %c histogram:info:- \
    2>/dev/null | grep -qi "#$1"
}

bar_centre() { bar_geometry | awk -F'[x+]' '{ print int($3 + $1 / 2), int($4 + $2 / 2) }'; }

# The bar's place as stored (outer corner and size), and as seen on the screen.
stored() {  # NAME: a number stored in the settings file, a signed one
  local value=$((16#$(sed -n "s/^\"$1\"=dword:\([0-9a-f]*\).*/\1/p" "$settings_file")))
  echo $((value >= 2 ** 31 ? value - 2 ** 32 : value))
}
stored_place() { echo "$(stored Left),$(stored Top) $(stored Width)x$(stored Height)"; }
seen_place() {  # the same, seen on the screen
  echo "$(bar_outer) $(bar_geometry | cut -d+ -f1)"
}
place_settled() {  # PLACE: the bar shows there, and stays for a moment
  [ "$(seen_place)" = "$1" ] && sleep 0.3 && [ "$(seen_place)" = "$1" ]
}
end_program() {
  kill -TERM "$program_pid"
  wait "$program_pid"
}
# The demo account with the bar stored at 500,200 400x22 (below any top panel), started and
# seen there: the first checks of a session under a window manager.
start_at_stored_place() {
  start_server demo:demo:123.45 || return 1
  mkdir -p "$(dirname "$settings_file")"
  settings_text '"login"="demo"' '"pswd"="demo"' '"Top"=dword:000000c8' '"Left"=dword:000001f4' \
    '"Width"=dword:00000190' '"Height"=dword:00000016' >"$settings_file"
  start_program
  check "the balance shows" wait_until 10 bar_has_colour 00FF00
  check "the bar stands where it was stored" wait_until 5 place_settled "500,200 400x22"
}

# --- GNOME Shell --------------------------------------------------------------------------

gnome_appindicator=ubuntu-appindicators@ubuntu.com  # Debian's AppIndicator extension

# A system bus of the session's own, as GNOME Shell's login-manager and status code want one:
# no other service is on it. Exports its address.
start_system_bus() {
  cat >"$session_dir/system-bus.conf" <<CONF
<busconfig>
  <type>system</type>
  <listen>unix:path=$session_dir/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/> <allow own="*"/> <allow send_destination="*"/> <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  dbus-daemon --config-file="$session_dir/system-bus.conf" --nofork --nopidfile \
    --print-address=1 >"$session_dir/system-bus" 2>"$session_dir/system-bus.log" &
  started $!
  wait_until 10 test -s "$session_dir/system-bus" ||
    { echo "the system bus did not start: $(tail -n 3 "$session_dir/system-bus.log")" >&2; return 1; }
  export DBUS_SYSTEM_BUS_ADDRESS
  DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$session_dir/system-bus")
}

# GNOME Shell on the display as its window manager and top bar, as an X11 GNOME session runs
# it; with --appindicator, with Debian's AppIndicator extension, the top bar's host of icons
# over D-Bus. Its settings live in the throwaway home (GIO's keyfile backend, no dconf
# service): no animations, two fixed workspaces, no welcome dialog, no notification banners
# (a session as root gets one) and the note on the missing lock screen already seen. The
# overview a fresh session opens with is closed, as a user's Escape would close it, through
# the shell's own property on the session bus. Returns once the shell has started (and the
# extension hosts icons); sets shell_pid.
start_gnome_shell() {  # [--appindicator]
  need gnome-shell gnome-shell
  need libglib2.0-bin gdbus
  local extensions=
  if [ "${1:-}" = --appindicator ]; then
    [ -d "/usr/share/gnome-shell/extensions/$gnome_appindicator" ] || {
      echo "FAIL: GNOME's AppIndicator extension is missing; it comes with the Debian package" \
        "gnome-shell-extension-appindicator (tools/bootstrap)" >&2
      exit 1
    }
    extensions="'$gnome_appindicator'"
  fi
  start_system_bus || return 1
  export XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile
  mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings" "$XDG_DATA_HOME/gnome-shell"
  : >"$XDG_DATA_HOME/gnome-shell/lock-warning-shown"
  printf '%s\n' '[org/gnome/shell]' "enabled-extensions=[$extensions]" \
    'disable-user-extensions=false' "welcome-dialog-last-shown-version='4294967295'" \
    '[org/gnome/desktop/interface]' 'enable-animations=false' \
    '[org/gnome/desktop/notifications]' 'show-banners=false' \
    '[org/gnome/mutter]' 'dynamic-workspaces=false' \
    '[org/gnome/desktop/wm/preferences]' 'num-workspaces=2' \
    >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
  gnome-shell --x11 --replace >"$session_dir/shell.log" 2>&1 &
  shell_pid=$!
  started "$shell_pid"
  if wait_until 30 shell_starting && shell_overview true &&
     shell_call org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' \
       >/dev/null &&
     wait_until 10 shell_started &&
     { [ -z "$extensions" ] || wait_until 10 bus_name_owned org.kde.StatusNotifierWatcher; }; then
    return 0
  fi
  echo "GNOME Shell did not start: $(grep -v '^$' "$session_dir/shell.log" | tail -n 3)" >&2
  return 1
}

shell_call() {  # METHOD ARGUMENTS...: calls the shell's /org/gnome/Shell on the session bus
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method "$@" \
    2>/dev/null
}
shell_overview() {  # true|false: the overview is open, or closed
  shell_call org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q "<$1>"
}
shell_starting() {  # the startup's overview is open, or the shell is gone
  shell_overview true || process_ended "$shell_pid"
}
shell_started() {  # the overview is closed and the shell says it has started
  shell_overview false &&
    grep -q '^GNOME Shell-Message: .*GNOME Shell started' "$session_dir/shell.log"
}
bus_name_owned() {  # NAME: someone owns NAME on the session bus
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}
