#!/usr/bin/env bash
# kestrion.exe as a user has it, in Wine with an X server, against the test billing server:
# the first poll comes at once and shows the balance in green, a wrong password shows in red
# at the next tick, the icon's and the bar's right clicks open the menu, "Выход" from it ends
# the program and keeps the bar's place for the next start. Then a server that takes the
# request and never answers: the bar goes on answering, a change of the screens brings it
# wholly back when they no longer show it whole (and leaves it where they do), the end of the
# session saves its place, and closing it does not wait for the request. A second start brings
# the running copy's hidden bar back and ends. The shell's and the system's
# messages come from bar_probe, as they would from the shell and the system.
# Usage: desktop_test.sh WINE_RUN KESTRION_EXE BAR_PROBE_EXE SERVER_STATE
set -uo pipefail
wine=$1 kestrion=$2 probe=$3 state=$4
source "$(dirname "$0")/../support/script_support.sh"

unset https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
export http_proxy
http_proxy=$(awk '$1 == "http" { print $2 }' "$state/urls")
key='HKCU\Software\Kestrion'

"$wine" reg delete "$key" /f >/dev/null 2>&1

# Starts kestrion.exe with these credentials and waits for its request at the server.
start() {  # LOGIN
  "$wine" reg add "$key" /v login /t REG_SZ /d "$1" /f >/dev/null 2>&1
  "$wine" reg add "$key" /v pswd /t REG_SZ /d "$1" /f >/dev/null 2>&1
  local before
  before=$(grep -c "login=$1&" "$state/requests.log")
  "$wine" "$kestrion" &
  program=$!
  wait_until 30 requests_above "$1" "$before"
}
requests_above() { [ "$(grep -c "login=$1&" "$state/requests.log")" -gt "$2" ]; }  # LOGIN COUNT

# Waits for the program's end after `$@` asks for it: its status, and the milliseconds it took.
end_by() {
  local started=${EPOCHREALTIME/./}
  "$@" >/dev/null
  wait "$program"
  status=$?
  elapsed=$(((${EPOCHREALTIME/./} - started) / 1000))
}
probe() { "$wine" "$probe" "$@" | tr -d '\r'; }
probe_says() { [ "$(probe "${@:1:$#-1}")" = "${!#}" ]; }  # QUESTION... ANSWER
bar_at() { [ "$(probe rect | cut -d' ' -f1-2)" = "$1 $2" ]; }  # LEFT TOP
stored_top() {  # HEX
  "$wine" reg query "$key" /v Top 2>/dev/null | tr -d '\r' | grep -q "Top    REG_DWORD    $1\$"
}
top_gone() { ! "$wine" reg query "$key" /v Top >/dev/null 2>&1; }
trap 'kill "$program" 2>/dev/null' EXIT

started=$SECONDS
check "the first request comes at once, not at the first tick" start demo
check "well before the 20-second timer" [ $((SECONDS - started)) -lt 15 ]
check "the balance shows in green" wait_until 5 probe_says label "green Ваш баланс: 123.45"
"$wine" reg add "$key" /v pswd /t REG_SZ /d wrong /f >/dev/null 2>&1
probe tick
check "a wrong password shows in red at the next tick" \
  wait_until 5 probe_says label "red Неверный логин или пароль"
probe tray-right
check "a right press on the icon opens the menu" wait_until 5 probe_says menu open
probe key escape
check "Escape closes it" wait_until 5 probe_says menu closed
probe move 120 40
probe bar-right
check "a right click on the bar opens the menu" wait_until 5 probe_says menu open
probe key up  # from the top, up is the last item: "Выход"
end_by probe key enter
answered=$elapsed
check "Выход ends the program with status 0" [ "$status" -eq 0 ]
check "and keeps where the bar stood" stored_top 0x28

check "the request reaches the stalled server" start stall
check "the next start puts the bar where it stood" bar_at 120 40
worst=0
for _ in 1 2 3 4 5; do
  took=$("$wine" "$probe" ping | tr -d '\r')
  [ "$took" = hung ] && took=99999
  [ "$took" -gt "$worst" ] && worst=$took
done
echo "slowest answer to WM_NULL during the stall: $worst ms"
check "meanwhile the bar answers WM_NULL within 100 ms" [ "$worst" -le 100 ]

# When the screens change, a bar they no longer show whole comes wholly onto the one it
# overlaps most (the primary one where none) at once, a place not stored; one wholly in view
# stays.
probe move -3000 -3000
probe displaychange
check "a display change brings a lost bar back at once" wait_until 1 bar_at 0 0
check "without storing that place" stored_top 0x28
probe move -100 40
probe workarea
check "a work-area change brings a bar partly off the screen wholly onto it" bar_at 0 40
probe move 120 40
probe workarea
check "and leaves one wholly in view" bar_at 120 40

# Top as "Выход" stored it goes first, so that only the end of the session can store it again.
"$wine" reg delete "$key" /v Top /f >/dev/null 2>&1
check "Top is deleted" wait_until 5 top_gone
"$wine" "$probe" endsession >/dev/null
check "the end of the session saves the geometry" wait_until 5 stored_top 0x28

end_by probe close
echo "ending took $elapsed ms during the stall, $answered ms with an answering server"
check "closing it during the stall ends it with status 0" [ "$status" -eq 0 ]
check "and the stall adds less than 1 s to it" [ $((elapsed - answered)) -lt 1000 ]

# Dragged by its label, then ended without a message (a crash, a kill): the place is kept.
start demo
probe drag 30 50
check "the drag moves the bar" wait_until 5 bar_at 150 90
# Hidden, and the program started again: the running copy shows its bar, the new start ends.
# Another program's window of the bar's class, above it, is not taken for it.
probe dblclick
check "a double click hides the bar" wait_until 5 probe_says shown hidden
"$wine" "$probe" decoy 30 &
decoy=$!
wait_until 10 probe_says rect "0 0 50 20"
timeout 30 "$wine" "$kestrion"
check "a second start ends with status 0" [ $? -eq 0 ]
probe decoy-end
wait "$decoy"
check "and the running copy's bar shows again" wait_until 5 probe_says shown shown
check "the first copy goes on" kill -0 "$program"
# A taskkill that hangs or misses the program is tried again, once; a program that outlives
# both is a failure, not a hung run.
program_ended() { grep -qs '^[0-9]* (.*) Z' "/proc/$program/stat" || [ ! -e "/proc/$program" ]; }
killed() { timeout 20 "$wine" taskkill /f /im kestrion.exe >/dev/null 2>&1; wait_until 10 program_ended; }
killed || killed || { fail "taskkill did not end the program"; pkill -KILL -P "$program"; }
wait "$program"
check "the place it was dragged to is kept" stored_top 0x5a
"$wine" reg delete "$key" /f >/dev/null 2>&1
report
