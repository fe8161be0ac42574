#!/usr/bin/env bash
# The bar under GNOME Shell on X11, the desktop most users have, in one shell: the place stored
# is the place seen below the top bar and the place kept at exit, the bar stays above an
# ordinary window and shows on every workspace, a double click hides it and a second start
# shows it again and leaves one copy. With the AppIndicator extension the icon is in the top
# bar, and its menu, opened by a left click as every icon's there, hides and shows the bar.
# Usage: desktop_gnome_test.sh KESTRION TEST_SERVER DATA_DIR plain|appindicator
set -uo pipefail
export KESTRION=$1 KESTRION_TEST_SERVER=$2 KESTRION_TEST_DATA=$3
variant=$4
source "$(dirname "$0")/../support/desktop_session.sh"
need xdotool xdotool
need x11-utils xprop xmessage

work=$(mktemp -d)
trap 'session_end; rm -rf "$work"' EXIT

top_bar_height() { xprop -root _NET_WORKAREA | awk -F', *' '{ print $2 }'; }

screen_colour() {  # WxH+X+Y: the commonest colour of that part of the screen, as "SHARE% R G B"
  import -window root "$work/screen.png" 2>/dev/null || return 1
  convert "$work/screen.png" -crop "$1" +repage -format %c histogram:info:- 2>/dev/null |
    tr '():,' '    ' | sort -rn | awk '{ total += $1 } NR == 1 { top = $0 }
      END { split(top, c); print int(100 * c[1] / total) "%", c[2], c[3], c[4] }'
}

icon_place() {  # X Y of the icon in the top bar: the one picture in colour among grey and white
  import -window root "$work/screen.png" 2>/dev/null || return 1
  convert "$work/screen.png" -crop "1024x$(top_bar_height)+0+0" +repage txt:- 2>/dev/null |
    awk -F'[,:() ]+' 'NR > 1 { hi = $3 > $4 ? $3 : $4; hi = hi > $5 ? hi : $5
                               lo = $3 < $4 ? $3 : $4; lo = lo < $5 ? lo : $5
                               if (hi - lo > 60) { n++; x += $1; y += $2 } }
                      END { if (n >= 20) print int(x / n), int(y / n) }' | grep .
}

menu_open() {  # the shell's menu stands under the icon: one grey, not the desktop's blue
  local share r g b
  read -r share r g b < <(screen_colour "40x40+$((icon_x - 20))+$(($(top_bar_height) + 24))")
  [ "${share%\%}" -ge 90 ] && [ "$r" = "$g" ] && [ "$g" = "$b" ]
}

choose_third() {  # the third item that can be chosen in the icon's menu, opened by a left click
  # Clicks on the icon less than the double-click time apart are a double click, which the
  # extension passes to the program instead of opening the menu.
  wait_until 3 eval '! menu_open'
  xdotool sleep 0.5 mousemove "$icon_x" "$icon_y" click 1
  wait_until 3 menu_open && xdotool key Down Down Down Return
}

copies() {  # the copies of the program running in this session
  local pid n=0
  for pid in $(pgrep -x "$(basename "$KESTRION")"); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "HOME=$HOME" && n=$((n + 1))
  done
  echo "$n"
}

session_begin "$work"
start_display || exit 1
begun=$EPOCHREALTIME icon_x=0 icon_y=0
case $variant in
  plain) start_gnome_shell || exit 1 ;;
  appindicator) start_gnome_shell --appindicator || exit 1 ;;
  *) echo "unknown variant $variant" >&2 && exit 1 ;;
esac
echo "note: GNOME Shell started in $(((${EPOCHREALTIME/./} - ${begun/./}) / 1000)) ms"
start_at_stored_place || exit 1  # below the top bar, which GNOME keeps for itself

# An ordinary window over the bar, raised and given the focus, leaves it in view; on the
# second workspace, where the window is not, the bar is there too.
xmessage -name cover -geometry 600x120+450+150 'an ordinary window' 2>/dev/null &
cover_pid=$!
started "$cover_pid"
cover_shown() { cover=$(xdotool search --limit 1 --name '^cover$') && [ -n "$cover" ]; }
cover_seen() {  # the window's white, under the bar
  local share r g b
  read -r share r g b < <(screen_colour 100x15+560+250)
  [ "${share%\%}" -ge 90 ] && [ "$r$g$b" = 255255255 ]
}
wait_until 10 cover_shown
xdotool windowactivate "$cover" windowraise "$cover" 2>/dev/null
wait_until 5 cover_seen
check "the bar stays above a window raised over it" bar_has_colour 00FF00
xdotool set_desktop 1
wait_until 5 eval '! cover_seen'
check "the bar shows on workspace 2" wait_until 2 bar_has_colour 00FF00
xdotool set_desktop 0
wait_until 5 cover_seen

if [ "$variant" = appindicator ]; then
  check "the icon is in the top bar" wait_until 10 eval 'read -r icon_x icon_y < <(icon_place)'
  check "a left click on it opens its menu, and Свернуть there hides the bar" \
    eval 'choose_third && wait_until 3 bar_hidden && sleep 0.5 && bar_hidden'
  # With the bar hidden, Свернуть cannot be chosen: the third item is Развернуть.
  check "Развернуть shows it again" eval 'choose_third && wait_until 3 bar_has_colour 00FF00'
fi

# Hidden by a double click, the bar comes back with a second start, which ends at once.
read -r x y < <(bar_centre)
xdotool mousemove "$x" "$y" click --repeat 2 --delay 60 1
check "a double click hides the bar" wait_until 2 bar_hidden
xdotool windowactivate --sync "$cover" 2>/dev/null
"$KESTRION" >"$work/second.log" 2>&1 &
second_pid=$!
started "$second_pid"
check "a second start ends at once" wait_until 5 process_ended "$second_pid"
check "and leaves one copy running" [ "$(copies)" = 1 ]
kill "$second_pid" 2>/dev/null  # a second copy would show a bar of its own
wait_until 5 process_ended "$second_pid"
check "whose bar shows again" wait_until 3 bar_has_colour 00FF00
# The focus too, taken from the ordinary window: the keyboard's and a screen reader's way to
# the balance.
check "and takes the keyboard focus" \
  wait_until 3 eval '[ "$(xdotool getwindowfocus 2>/dev/null)" = "$(($(bar_id)))" ]'
kill "$cover_pid"

end_program
check "the end stores the place seen" [ "$(stored_place)" = "500,200 400x22" ]
echo "note: the session took $(((${EPOCHREALTIME/./} - ${begun/./}) / 1000)) ms after the display"
report
