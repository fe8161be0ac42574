#!/usr/bin/env bash
# A new user's first minutes, in an X server with a notification area: no settings yet, the
# settings dialog opened from the bar's menu, credentials typed and saved with Enter, and the
# balance arriving at once, not at the next timer tick; the autostart box ticked on the way.
# A screen reader follows it on the accessibility bus (AT-SPI), and the real Orca says what
# it hears; the user then comes back by keyboard alone, as one who uses no mouse would: another
# start of the program, the menu key.
# Usage: desktop_settings_test.sh KESTRION TEST_SERVER DATA_DIR
set -uo pipefail
export KESTRION=$1 KESTRION_TEST_SERVER=$2 KESTRION_TEST_DATA=$3
source "$(dirname "$0")/../support/desktop_session.sh"
need xdotool xdotool
need at-spi2-core /usr/libexec/at-spi-bus-launcher
need orca orca
need speech-dispatcher speech-dispatcher
need bsdutils script
atspi=$(dirname "$0")/../support/atspi_client.py

work=$(mktemp -d)
trap 'session_end; rm -rf "$work"' EXIT
dialog_shown() { xwininfo -root -tree | grep -q '"Параметры": ("kestrion"'; }

session_begin "$work"
start_display || exit 1
display_pid=$xvfb_pid
start_tray || exit 1
# The password shares no character with anything else the session types or hears.
start_server demo:zq7zq7:123.45 || exit 1
# The accessibility bus on the session bus, and screen reading on before the program starts:
# Qt reads it as it starts.
/usr/libexec/at-spi-bus-launcher >"$work/atspi.log" 2>&1 &
started $!
check "a screen reader turns screen reading on" "$atspi" enable

# Orca, speaking through speech-dispatcher and espeak-ng into a sound device that swallows it.
# It writes what it speaks into its debug output, block-buffered into a file; into a terminal
# of its own (script) line by line. Orca will not start beside another Orca of the same user.
spoken() { sed -n "s/^.*SPEECH OUTPUT: '\([^']*\)'.*$/\1/p" "$work/orca.out"; }  # a line each
said() { spoken | tail -n "+$1" | grep -qxF "$2"; }  # FROM TEXT: Orca said TEXT, from line FROM
orca_lines() { echo $(($(spoken | wc -l) + 1)); }   # the line the next utterance will take
orca_quiet() { local lines; lines=$(orca_lines); sleep 1; [ "$(orca_lines)" = "$lines" ]; }
exec {orca_lock}>"${TMPDIR:-/tmp}/kestrion-orca-$(id -u).lock"
flock -w 120 "$orca_lock"
if pgrep -u "$(id -u)" -x orca >/dev/null; then
  echo "FAIL: another Orca of this user runs; Orca starts only once per user" >&2
  exit 1
fi
printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"
mkdir -p "$XDG_CONFIG_HOME/speech-dispatcher"
printf '%s\n' 'AudioOutputMethod "alsa"' 'AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"' \
  'DefaultModule espeak-ng' >"$XDG_CONFIG_HOME/speech-dispatcher/speechd.conf"
speech-dispatcher --run-single --timeout 0 >"$work/speechd.log" 2>&1 &
started $!
script -q -f -c 'exec orca --debug-file /dev/tty' "$work/orca.out" </dev/null >/dev/null 2>&1 &
started $!
check "Orca starts and speaks" wait_until 60 said 1 "Screen reader on."

start_program
check "no settings: the error shows in red" wait_until 10 bar_has_colour FF0000
"$atspi" events "$program_pid" >"$work/name-events" 2>&1 &
started $!
check "the screen reader listens for new names" wait_until 10 grep -q '^ready$' "$work/name-events"
reader_sees() { "$atspi" tree "$program_pid" | grep -Fx "$1" >/dev/null; }  # an object's LINE
bar_events() { grep '^Kestrion > ' "$work/name-events"; }

# The bar's menu by a right click on the bar, then "Параметры", the second item.
kestrion_windows() { xdotool search --onlyvisible --classname '^kestrion$' | wc -l; }  # the bar, the icon, a menu
windows=$(kestrion_windows)
menu_shown() { [ "$(kestrion_windows)" -gt "$windows" ]; }
read -r x y < <(bar_geometry | awk -F'[x+]' '{ print $3 + $1 / 2, $4 + $2 / 2 }')
xdotool mousemove "$x" "$y" click 3
check "a right click on the bar opens its menu" wait_until 5 menu_shown
xdotool key Down Down Return
check "the settings dialog opens" wait_until 5 dialog_shown
# Each edit is named by its own label (the group box labels all it holds).
check "a screen reader names the login edit by its label" \
  wait_until 5 reader_sees "text: PIN1 (labelled by PIN1, Параметры)"
check "and the password edit by its own" reader_sees "password text: PIN2 (labelled by PIN2, Параметры)"
check "Orca speaks the login edit by its label as the dialog opens" wait_until 20 said 1 "PIN1 text."

# The dialog blocks the bar, not the icon: a left click on the icon hides the bar and shows
# it again meanwhile.
read -r tx ty < <(tray_icon_centre)
xdotool mousemove "$tx" "$ty" click 1
check "with the dialog open the icon hides the bar" within_ms 1000 bar_hidden
sleep 0.6  # not a double click
xdotool click 1
check "and shows it again" within_ms 1000 bar_shown
check "the dialog stays" dialog_shown
from=$(orca_lines)
xdotool windowfocus --sync "$(xwininfo -root -tree | awk '/"Параметры": \("kestrion"/ { print $1; exit }')"
wait_until 20 said "$from" "Параметры dialog."

# The login edit has the focus: login, Tab, password, Tab, Space ticks "Автозапуск", Enter
# on the box acts as OK. The user types the password once Orca has said where it goes: Orca
# echoes each key it hears, until it knows it is in a password edit.
started=$SECONDS
xdotool type --delay 20 demo
xdotool key Tab
check "Orca speaks the password edit by its label" wait_until 20 said 1 "PIN2 password text."
xdotool type --delay 100 zq7zq7
xdotool key Tab space Return
check "the dialog closes" wait_until 5 sh -c '! xwininfo -root -tree | grep -q "\"Параметры\": (\"kestrion\""'
check "the balance comes at once, not at the next tick" wait_until 10 bar_has_colour 00FF00
check "well before the 20-second timer" [ $((SECONDS - started)) -lt 15 ]
check "a screen reader reads the status as its status bar's name" \
  reader_sees "status bar: Ваш баланс: 123.45"
check "and hears of it once, from the bar" \
  wait_until 5 eval '[ "$(bar_events)" = "Kestrion > status bar: Ваш баланс: 123.45" ]'
check "Orca speaks what is typed into the password edit as its mask" eval 'spoken | grep -qx "\*"'
check "the credentials are stored" grep -q '"login"="demo"' "$settings_file"
# Back by keyboard alone: another window has the focus, and another start, as a desktop's key
# for the program runs it, gives the bar the focus on its status; Orca speaks the balance.
xmessage -name cover -geometry 300x100+600+400 'an ordinary window' 2>/dev/null &
started $!
wait_until 10 eval 'cover=$(xdotool search --limit 1 --name "^cover$")'
xdotool windowfocus --sync "$cover"
# With no window manager the X server takes a request for the focus only with a time as new as
# the last change of focus: the pointer over the bar brings the program the server's time.
read -r bx by < <(bar_centre)
xdotool mousemove "$bx" "$by"
wait_until 20 orca_quiet
from=$(orca_lines)
check "another start ends at once" timeout 10 "$KESTRION"
check "and Orca speaks the balance" wait_until 20 said "$from" "Ваш баланс: 123.45 statusbar."
# The menu key and Shift+F10 open the bar's menu with its first item chosen; Escape closes it.
for keys in Menu shift+F10; do
  from=$(orca_lines)
  xdotool key "$keys"
  check "$keys opens the bar's menu" wait_until 5 menu_shown
  check "Orca speaks its first item" wait_until 20 said "$from" "Статистика."
  xdotool key Down
  check "and the next one, down the menu" wait_until 20 said "$from" "Параметры."
  xdotool key Escape
  check "Escape closes the menu" wait_until 5 eval '! menu_shown'
done
check "the autostart entry is there" test -f "$XDG_CONFIG_HOME/autostart/Kestrion.desktop"
check "it starts this program" grep -q "^Exec=$(readlink -f "$KESTRION")\$" \
  "$XDG_CONFIG_HOME/autostart/Kestrion.desktop"
check "its icon is the picture beside the program, not a copy in the icon theme" \
  grep -q "^Icon=$(dirname "$(readlink -f "$KESTRION")")/kestrion.png\$" \
  "$XDG_CONFIG_HOME/autostart/Kestrion.desktop"
check "nothing is written into the icon theme" test ! -e "$XDG_DATA_HOME/icons"

# OK again with nothing changed: the poll it starts brings the same status, which is no news.
# The menu this time from the keyboard, and Enter in the password edit for OK.
from=$(orca_lines)
xdotool key Menu
check "the menu opens again" wait_until 5 menu_shown
xdotool key Down Return
check "so does the dialog" wait_until 5 dialog_shown
# It comes back with the focus where it was left, on the first box.
xdotool key shift+Tab
check "Orca speaks the password edit again" wait_until 20 said "$from" "PIN2 password text."
xdotool key Return
polled_again() { [ "$(wc -l <"$work/requests.log")" -ge 2 ]; }
check "and its OK polls again" wait_until 10 polled_again

# The bar dragged by its label to a new place, then the display server goes away (a crash,
# a restart): the place is kept, as it was stored when the drag ended.
read -r x y < <(bar_geometry | awk -F'[x+]' '{ print int($3 + $1 / 2), int($4 + $2 / 2) }')
xdotool mousemove "$x" "$y" mousedown 1
for step in 1 2 3; do sleep 0.2; xdotool mousemove $((x - 40 * step)) $((y - 130 * step)); done
sleep 0.2
xdotool mouseup 1
bar_dragged() {  # sets left and top
  read -r left top < <(bar_geometry | awk -F'[x+]' '{ print $3, $4 }')
  [ "${top:-$y}" -lt $((y - 300)) ]
}
check "the drag moved the bar" wait_until 5 bar_dragged
check "the place is stored when the drag ends" \
  wait_until 5 grep -q "\"Top\"=dword:$(printf '%08x' "$top")" "$settings_file"
# Checked only now: the status of the second poll has long been shown.
check "the same status again was no news" \
  eval '[ "$(bar_events)" = "Kestrion > status bar: Ваш баланс: 123.45" ]'
kill -KILL "$display_pid"
wait "$program_pid"
check "the program ends with the display" true
check "the place it was dragged to is kept" \
  grep -q "\"Top\"=dword:$(printf '%08x' "$top")" "$settings_file"
check "to the pixel" grep -q "\"Left\"=dword:$(printf '%08x' "$left")" "$settings_file"
check "the credentials too" grep -q '"pswd"="zq7zq7"' "$settings_file"
check "Orca never spoke the password, whole or a character at a time" \
  eval '! spoken | grep -q "[zq7]"'

report
