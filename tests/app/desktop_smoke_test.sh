#!/usr/bin/env bash
# Starts the real kestrion in an X server with a notification-area host, against the test
# billing server, and ends it as the session would.
# Usage: desktop_smoke_test.sh KESTRION TEST_SERVER DATA_DIR SNI_WATCHER STALLED_RESOLVER
set -uo pipefail
export KESTRION=$1 KESTRION_TEST_SERVER=$2 KESTRION_TEST_DATA=$3 SNI_WATCHER=$4
stalled_resolver=$5
source "$(dirname "$0")/../support/desktop_session.sh"
need xdotool xdotool
need libglib2.0-bin gdbus
need python3 python3

work=$(mktemp -d)
trap 'session_end; rm -rf "$work"' EXIT

session_begin "$work"
start_display || exit 1
start_tray || exit 1
start_server demo:demo:123.45 'rich:rich:<b>1</b>' --stall-login stall || exit 1
write_settings demo demo

start_program
# The first poll comes with the message loop, long before the first 20-second tick.
check "the balance shows in green within 10 s" wait_until 10 bar_has_colour 00FF00
check "one request so far" [ "$(wc -l <"$work/requests.log")" -eq 1 ]
check "the icon is docked in the notification area" wait_until 5 tray_docked
check "the bar stands where it stands on a first run" [ "$(bar_geometry)" = "241x21+195+677" ]

# The tray host restarts: the icon comes back.
kill "$tray_pid"
wait "$tray_pid" 2>/dev/null
check "a new notification area starts" start_tray
check "the icon comes back to a new notification area" wait_until 10 tray_docked

# A launcher that opens the program through org.freedesktop.Application's Open, not Activate,
# brings the bar into view too.
click_icon() { read -r x y < <(tray_icon_centre) && xdotool mousemove "$x" "$y" click 1; }
click_icon
check "a click on the icon hides the bar" wait_until 2 bar_hidden
gdbus call --session --dest example.kestrion.Kestrion --object-path /example/kestrion/Kestrion \
  --method org.freedesktop.Application.Open '@as []' '@a{sv} {}' >/dev/null
check "Open over the session bus shows the hidden bar" wait_until 2 bar_shown

# A copy stopped or hung on the bus answers nothing: a start meanwhile ends within its 5 s,
# here while a second display of the same bus (a second X login, VNC) starts a copy of its
# own, though the first copy holds the application id.
kill -STOP "$program_pid"
asked_at=${EPOCHREALTIME/./}
timeout -s KILL 15 "$KESTRION" >"$work/stopped.log" 2>&1 &
stopped_start=$!
first_display=$DISPLAY
mkdir -p "$work/display2"
start_xvfb "$work/display2" || exit 1
"$KESTRION" >"$work/display2/kestrion.log" 2>&1 &
other_pid=$!
started "$other_pid"
check "a start on a second display shows a bar there" wait_until 5 bar_shown
kill -TERM "$other_pid"
wait "$other_pid"
kill "$xvfb_pid"
export DISPLAY=$first_display
wait "$stopped_start"
check "a start while the running copy is stopped ends with status 0" [ $? -eq 0 ]
check "within 7 s" [ $((${EPOCHREALTIME/./} - asked_at)) -lt 7000000 ]
kill -CONT "$program_pid"

# SIGTERM ends it as "Выход" does: icon removed, geometry saved.
kill -TERM "$program_pid"
wait "$program_pid"
check "SIGTERM ends the program with status 0" [ $? -eq 0 ]
check "the geometry is saved" grep -q '"Top"=dword:000002a5' "$settings_file"
check "the credentials are kept" grep -q '"pswd"="demo"' "$settings_file"
# Asked of a live X server: a dead one shows no icon either.
icon_gone() {
  local windows
  windows=$(xwininfo -root -tree) || return 1
  ! grep -q '"Kestrion": ("kestrion"' <<<"$windows"
}
check "the icon is gone" icon_gone

# A wrong password: the error in red; SIGINT ends it the same way. Arguments, Qt's own
# included, change nothing.
write_settings demo wrong
start_program -platform offscreen --anything
check "an error shows in red" wait_until 10 bar_has_colour FF0000
kill -INT "$program_pid"
wait "$program_pid"
check "SIGINT ends the program with status 0" [ $? -eq 0 ]

# A server that takes the request and never answers: the bar and its icon go on answering
# the user, and so does a second start, and the program ends at once, not when the request
# gives up. No session bus here: one copy is kept by a lock and a socket instead. The bus
# address points nowhere: unset, libdbus starts a bus of its own where dbus-launch is installed.
write_settings stall stall
bus=$DBUS_SESSION_BUS_ADDRESS
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
start_program
check "the request reaches the stalled server" wait_until 10 grep -q 'login=stall' "$work/requests.log"
check "the bar shows during the stall" wait_until 5 bar_shown
read -r x y < <(bar_geometry | awk -F'[x+]' '{ print $3 + $1 / 2, $4 + $2 / 2 }')
xdotool mousemove "$x" "$y" click --repeat 2 --delay 60 1
check "meanwhile a double click hides the bar within 0.5 s" within_ms 500 bar_hidden
click_icon
check "and a click on the icon shows it again within 0.5 s" within_ms 500 bar_shown
# The bar hidden from the icon and the command run, a second start brings it back at once.
second_start() {  # WHEN [COMMAND...]
  sleep 0.5  # a click, not the second of a double click
  click_icon
  check "$1: a click on the icon hides the bar" wait_until 2 bar_hidden
  "${@:2}"
  local started=${EPOCHREALTIME/./}
  timeout -s KILL 5 "$KESTRION" >"$work/second.log" 2>&1
  check "$1: a second start ends with status 0" [ $? -eq 0 ]
  check "within 1 s" [ $((${EPOCHREALTIME/./} - started)) -lt 1000000 ]
  kill -CONT "$program_pid"
  check "and the bar shows again" wait_until 1 bar_shown
}
second_start "during the stall"
cpu_ticks() { sed 's/.*) //' "/proc/$program_pid/stat" | awk '{ print $12 + $13 }'; }
ticks=$(cpu_ticks)
sleep 0.5
check "the running copy is idle again after it (under 0.1 s of CPU in 0.5 s)" \
  [ $(($(cpu_ticks) - ticks)) -lt 10 ]
# A copy that crashed left its socket behind: the next one takes its place all the same.
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null
start_program
check "after a crash the next copy polls" \
  wait_until 10 eval '[ "$(grep -c login=stall "$work/requests.log")" -ge 2 ] && tray_docked && bar_shown'
second_start "after a crash"
# A copy stopped or hung takes no requests: starts meanwhile end at once though its queue is
# full, and it brings the bar into view when it goes on.
stop_with_queue_full() {
  kill -STOP "$program_pid"
  python3 -c 'import socket as s, sys
any(s.socket(s.AF_UNIX, s.SOCK_STREAM | s.SOCK_NONBLOCK).connect_ex(sys.argv[1]) for _ in range(99))' \
    "$XDG_RUNTIME_DIR"/*.socket
}
second_start "while the running copy is stopped" stop_with_queue_full
export DBUS_SESSION_BUS_ADDRESS=$bus
# SIGTERM ends it as "Выход" does: status 0, within the time given, the geometry saved.
end_by_sigterm() {  # WHEN [SECONDS]
  local started=${EPOCHREALTIME/./} status
  kill -TERM "$program_pid"
  wait "$program_pid"
  status=$?
  check "SIGTERM $1 ends it with status 0" [ "$status" -eq 0 ]
  [ $# -lt 2 ] || check "within $2 s" [ $((${EPOCHREALTIME/./} - started)) -lt $(($2 * 1000000)) ]
  check "with the geometry saved" grep -q '"Top"=dword:' "$settings_file"
}
end_by_sigterm "during the stall" 2

# A name lookup that never answers, as behind a captive portal: the poll ends by its bound,
# not when the lookup gives up, and the end is as prompt.
write_settings demo demo
start_stalled_lookup() {
  rm -f "$work/lookups.log"
  http_proxy='' LD_PRELOAD=$stalled_resolver KESTRION_STALLED_HOST=balance.example.net \
    KESTRION_STALL_SECONDS=22 KESTRION_STALL_LOG=$work/lookups.log \
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 start_program
  wait_until 10 test -s "$work/lookups.log"
}
check "the lookup of the server's name stalls" start_stalled_lookup
check "the poll fails in red within its bound" wait_until 13 bar_has_colour FF0000
kill -TERM "$program_pid"
wait "$program_pid"
check "SIGTERM after the failed poll ends it with status 0" [ $? -eq 0 ]
check "the lookup stalls again" start_stalled_lookup
end_by_sigterm "during the lookup" 1

# SIGTERM during start-up, as soon as main catches it: kept for the loop, nothing lost.
write_settings demo demo
start_program
sigterm_caught() {  # by the program itself, not by the shell it is forked from
  [ "$(readlink "/proc/$program_pid/exe")" = "$(readlink -f "$KESTRION")" ] &&
    grep -q '^SigCgt:.*[4-7c-f][0-9a-f]\{3\}$' "/proc/$program_pid/status"
}
check "the program catches SIGTERM within 5 s of its start" wait_until 5 sigterm_caught
end_by_sigterm "during start-up"

# A panel that hosts the icon over the session bus (StatusNotifierItem), as KDE Plasma, GNOME
# with AppIndicator and waybar do: the item's tip is plain text, it offers a larger picture,
# it exports the bar's menu in step with the bar, and a restarted watcher gets it back.
start_watcher || exit 1
write_settings rich rich
# The statistics address carries the password, so whatever xdg-open and the browser it starts
# say about it stays out of the session's log. xdg-open takes $BROWSER where it finds no
# desktop and no handler for https.
mkdir -p "$work/bin" "$work/no-data"
printf '#!/bin/sh\necho "no browser for $1" >&2\ntouch "%s/browser-ran"\nexit 1\n' "$work" \
  >"$work/bin/failing-browser"
chmod +x "$work/bin/failing-browser"
BROWSER=$work/bin/failing-browser XDG_DATA_DIRS=$work/no-data XDG_CURRENT_DESKTOP= \
  DESKTOP_SESSION= KDE_FULL_SESSION= GNOME_DESKTOP_SESSION_ID= start_program
check "the icon registers with the panel" watcher_item
check "the balance shows in green on the bar" wait_until 10 bar_has_colour 00FF00
check "its tip is plain text" [ "$(ask_watcher tip)" = "tip Kestrion : Ваш баланс: <b>1</b>" ]
green_icon=$(ask_watcher icons)
check "it offers a 32-pixel picture" sh -c "echo '$green_icon' | grep -q '^icons 16 .*32'"
menu=$(ask_watcher menu)
check "the menu is exported" [ "$(echo "$menu" | grep "^menu " | cut -d' ' -f6- | tr '\n' '|')" = \
  "Статистика|Параметры|Свернуть|Развернуть|Наверх|О программе|Выход|" ]
check "each item with its picture" [ "$(echo "$menu" | grep -c '^menu [0-9]* [01] [01] 1 ')" -eq 7 ]
check "with Развернуть disabled while the bar shows" sh -c "echo '$menu' | grep -q '^menu [0-9]* 0 0 1 Развернуть$'"
ask_watcher "click $(echo "$menu" | awk '$6 == "Свернуть" { print $2 }')" >/dev/null
check "a click on Свернуть in the panel's menu hides the bar" within_ms 1000 bar_hidden
check "and the menu follows" sh -c "echo '$(ask_watcher menu)' | grep -q '^menu [0-9]* 1 0 1 Развернуть$'"
ask_watcher "click $(echo "$menu" | awk '$6 == "Наверх" { print $2 }')" >/dev/null
check "Наверх gets its mark" sh -c "echo '$(ask_watcher menu)' | grep -q '^menu [0-9]* 1 1 1 Наверх$'"
ask_watcher activate >/dev/null
check "a left click on the icon shows the bar" within_ms 1000 bar_shown
ask_watcher "click $(echo "$menu" | awk '$6 == "Статистика" { print $2 }')" >/dev/null
check "Статистика starts the browser" wait_until 10 test -e "$work/browser-ran"
sleep 1
password_in_log() { grep -q 'stat\.example\.net\|%72%69%63%68' "$session_dir/kestrion.log"; }
check "and the address stays out of the log" eval '! password_in_log'
kill "$watcher_pid"
wait "$watcher_pid" 2>/dev/null || true
check "a new watcher starts" start_watcher
check "a restarted watcher gets the icon back" watcher_item
kill -TERM "$program_pid"
wait "$program_pid"
check "it ends with status 0" [ $? -eq 0 ]
write_settings rich wrong
# Without xdg-open the page is simply not opened; nothing says its address.
PATH=$work/bin start_program
check "the icon registers again" watcher_item
menu=$(ask_watcher menu)
ask_watcher "click $(echo "$menu" | awk '$6 == "Статистика" { print $2 }')" >/dev/null
sleep 1
check "without xdg-open the address stays out of the log too" eval '! password_in_log'
check "the wrong password shows in red" wait_until 10 bar_has_colour FF0000
red_icon=$(ask_watcher icons)
echo "the panel's picture, a quarter down its middle: ${green_icon##* } for a balance, ${red_icon##* } for an error"
check "the panel's picture follows the status" sh -c \
  "[ '${green_icon##* }' != '${red_icon##* }' ] && echo '${red_icon##* }' | grep -q '^#[C-F][0-9A-F][0-7]'"
kill -TERM "$program_pid"
wait "$program_pid"
check "the last SIGTERM ends it with status 0 too" [ $? -eq 0 ]

report
