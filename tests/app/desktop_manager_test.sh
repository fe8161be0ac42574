#!/usr/bin/env bash
# The bar under a real window manager, as a user runs it: the place stored is the place seen
# and survives restarts, a drag and "Наверх" are stored where they end, the bar stays above an
# ordinary window, off the task bar (once hidden and shown again too), on every workspace, and
# takes no focus on a poll; a monitor removed or a screen made smaller brings it wholly back; a
# second start brings the running copy's bar into view and ends. The display is Xephyr, nested in Xvfb, so that
# its screen can change size.
# Usage: desktop_manager_test.sh KESTRION TEST_SERVER DATA_DIR MANAGER SNI_WATCHER
# MANAGER: openbox, fluxbox, i3, twm, icewm, kwin, or none.
set -uo pipefail
export KESTRION=$1 KESTRION_TEST_SERVER=$2 KESTRION_TEST_DATA=$3 SNI_WATCHER=$5
manager=$4
source "$(dirname "$0")/../support/desktop_session.sh"
need xdotool xdotool
need x11-utils xprop
need x11-xserver-utils xrandr
need xserver-xephyr Xephyr
need x11-utils xmessage

work=$(mktemp -d)
trap 'session_end; rm -rf "$work"' EXIT

start_resizable_display() {  # WxH: exports DISPLAY, a screen that xrandr -s can resize
  start_display || return 1
  rm -f "$work/nested"
  Xephyr -displayfd 1 -resizeable -screen "$1" -dpi 96 -nolisten tcp -noreset \
    >"$work/nested" 2>"$work/xephyr.log" &
  started $!
  wait_until 10 test -s "$work/nested" || { echo "Xephyr did not start" >&2; return 1; }
  export DISPLAY=:$(head -n 1 "$work/nested")
  wait_until 10 xwininfo -root >/dev/null 2>&1
}

manager_running() {  # the manager has taken the root window's substructure
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    xprop -root 2>/dev/null | grep -q '^_MIT_PRIORITY\|^TWM_'
}

start_manager() {  # NAME
  case $1 in
    none) return 0 ;;
    openbox) openbox --sm-disable >"$work/manager.log" 2>&1 & ;;
    fluxbox) fluxbox >"$work/manager.log" 2>&1 & ;;
    icewm) icewm >"$work/manager.log" 2>&1 & ;;
    i3)
      printf 'font pango:DejaVu Sans 8\nfocus_follows_mouse no\n' >"$work/i3.conf"
      i3 -c "$work/i3.conf" >"$work/manager.log" 2>&1 & ;;
    kwin)
      # On the session's own bus, two desktops, no compositing: Plasma's X11 manager as its
      # session starts it, without the desktop shell.
      printf '%s\n' '[Compositing]' 'Enabled=false' '[Desktops]' 'Number=2' 'Rows=1' \
        >"$XDG_CONFIG_HOME/kwinrc"
      KWIN_COMPOSE=N kwin_x11 >"$work/manager.log" 2>&1 & ;;
    twm)
      # The X server's built-in font: twm's own need the core fonts' packages.
      printf '%s\n' RandomPlacement 'UsePPosition "on"' NoGrabServer 'TitleFont "fixed"' \
        'ResizeFont "fixed"' 'MenuFont "fixed"' 'IconFont "fixed"' 'IconManagerFont "fixed"' \
        >"$work/twmrc"
      twm -f "$work/twmrc" >"$work/manager.log" 2>&1 & ;;
    *) echo "unknown window manager $1" >&2 && return 1 ;;
  esac
  started $!
  manager_pid=$!
  # twm announces nothing: its frames around a window of its own tell that it runs.
  if [ "$1" = twm ]; then sleep 1 && kill -0 "$manager_pid"; else wait_until 10 manager_running; fi
}

session_begin "$work"
start_resizable_display 1024x768 || exit 1
start_manager "$manager" || { echo "$manager did not start: $(tail -n 3 "$work/manager.log")"; exit 1; }
# The stored place is the place seen, to the pixel, and restarts move nothing.
start_at_stored_place || exit 1
for start in 2 3 4; do
  end_program
  check "exit $((start - 1)) stores the place seen" [ "$(stored_place)" = "500,200 400x22" ]
  start_program
  check "start $start: the bar stands there still" wait_until 10 place_settled "500,200 400x22"
done
bar=$(bar_id)
if [ "$manager" != twm ]; then  # twm frames every window
  check "no frame around the bar" [ "$(bar_outer)" = "$(bar_geometry | cut -d+ -f2,3 | tr + ,)" ]
fi
check "not in the task bar or the pager" \
  eval 'xprop -id "$bar" _NET_WM_STATE | grep SKIP_TASKBAR | grep -q SKIP_PAGER'

# On every workspace, as a panel: switching leaves the balance in view.
if [ "$manager" = twm ] || [ "$manager" = none ]; then
  skip "the bar on every workspace: $manager has no workspaces"
else
  to_workspace() {  # NUMBER, from 1; i3 makes its workspaces as they are asked for
    if [ "$manager" = i3 ]; then i3-msg -q workspace "$1"; else xdotool set_desktop $(($1 - 1)); fi
  }
  to_workspace 2
  check "on the second workspace the bar shows too" \
    wait_until 3 eval 'bar_shown && bar_has_colour 00FF00'
  to_workspace 1
fi

# A drag by the label is stored where it ends.
read -r x y < <(bar_centre)
xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x + 50)) $((y + 30)) \
  mousemove $((x + 100)) $((y + 60)) mouseup 1
check "a drag moves the bar with the pointer" wait_until 5 place_settled "600,260 400x22"
check "and stores where it ended" wait_until 2 eval '[ "$(stored_place)" = "600,260 400x22" ]'

# An ordinary window raised over the bar stays below it, where the manager keeps layers: twm
# and a bare X server keep none.
xmessage -name cover -geometry 600x120+550+220 'an ordinary window' 2>/dev/null &
cover_pid=$!
started "$cover_pid"
cover_shown() { cover=$(xdotool search --limit 1 --name '^cover$') && [ -n "$cover" ]; }
wait_until 10 cover_shown
if [ "$manager" = twm ] || [ "$manager" = none ]; then
  skip "the bar above other windows: $manager keeps no layers"
else
  xdotool windowraise "$cover"
  sleep 0.5
  check "the bar stays above a window raised over it" bar_has_colour 00FF00
fi

# A poll takes no focus: the ordinary window, moved off the bar and given the focus, keeps it
# while the next poll (a wrong password) shows in red.
focus() { xdotool getwindowfocus 2>/dev/null; }
xdotool windowmove "$cover" 0 400
focused() { xdotool windowfocus "$cover" 2>/dev/null; sleep 0.2; [ "$(focus)" = "$cover" ]; }
wait_until 5 focused
sed -i 's/"pswd"="demo"/"pswd"="wrong"/' "$settings_file"
check "the next poll shows its error" wait_until 25 bar_has_colour FF0000
check "and takes no focus" [ "$(focus)" = "$cover" ]
# Another start, as a desktop's key for the program runs it, hands the keyboard to the bar:
# its status is then what a screen reader speaks.
bar_focused() { [ "$(focus)" = "$((bar))" ]; }
"$KESTRION" >"$work/second-start.log" 2>&1
check "another start hands the bar the keyboard focus" wait_until 3 bar_focused
kill "$cover_pid"

# "Наверх" from the bar's menu, the fifth item that can be chosen ("Развернуть" is not). Keys
# that a busy machine lost on the way to the menu are given a second try.
menu_shown() {  # a popup of ours on the screen, a window no manager handles: sets menu
  local id info
  for id in $(xwininfo -root -tree | awk '/"kestrion" "Kestrion"/ { print $1 }'); do
    info=$(xwininfo -id "$id" 2>/dev/null)
    grep -q 'IsViewable' <<<"$info" && grep -q 'Override Redirect State: yes' <<<"$info" &&
      menu=$id && return 0
  done
  return 1
}
choose_top() {
  read -r x y < <(bar_centre)
  # The menu opens at the press, its corner under the pointer; the button is let go once the
  # keys have chosen, so that a release a busy machine delivers late cannot choose the item
  # under the pointer. The keys go to the menu itself: under twm the focus is wherever the
  # pointer last went.
  xdotool mousemove "$x" "$y" sleep 0.3 mousedown 3
  wait_until 3 menu_shown || { xdotool mouseup 3; return 1; }
  xdotool sleep 0.2 key --window "$menu" Down Down Down Down Return sleep 0.2 mouseup 3
  wait_until 5 place_settled "600,0 400x22"
}
check "\"Наверх\" puts the bar on the top edge" eval 'choose_top || { xdotool key Escape; choose_top; }'
check "and stores it" wait_until 3 eval '[ "$(stored_place)" = "$(seen_place)" ]'

# Screens that change under the running bar: still showing it whole, they leave it; a monitor
# removed or a screen made smaller brings it wholly onto what is left within a second, after
# whatever the manager did with it (openbox moves it itself, and left a sliver in view).
whole_on() {  # LEFT TOP WIDTH HEIGHT: the bar (400x22) seen wholly inside, and staying there
  local left top
  IFS=, read -r left top < <(bar_outer)
  [ -n "$top" ] && [ "$left" -ge "$1" ] && [ "$top" -ge "$2" ] &&
    [ $((left + 400)) -le $(($1 + $3)) ] && [ $((top + 22)) -le $(($2 + $4)) ] &&
    sleep 0.3 && [ "$(bar_outer)" = "$left,$top" ]
}
# A lower resolution under the bar, with the screens it started with (Xephyr offers the sizes
# of its mode list only); then dragged back, for the monitors below. i3 moves floating
# windows itself as the screens change, and has the last word.
if [ "$manager" != i3 ]; then
  xrandr -s 800x600 >/dev/null 2>&1
  check "a lower resolution brings the bar wholly onto the screen within 1 s" \
    within_ms 1000 whole_on 0 0 800 600
  xrandr -s 1024x768 >/dev/null 2>&1
  sleep 0.5
  read -r x y < <(bar_centre)
  IFS=, read -r left _ < <(bar_outer)
  xdotool mousemove "$x" "$y" mousedown 1 mousemove $((x + (600 - left) / 2)) "$y" \
    mousemove $((x + 600 - left)) "$y" mouseup 1
  wait_until 5 eval '[ "$(bar_outer)" = 600,0 ]'
fi
output=$(xrandr 2>/dev/null | awk '/ connected/ { print $1; exit }')
# The right one first: the left one takes the place of the whole screen's. The left one is
# the primary, so that taking the right one away changes nothing but the list of screens.
xrandr --setmonitor right 512/135x600/159+512+0 none >/dev/null 2>&1
xrandr --setmonitor '*left' 512/135x600/159+0+0 "$output" >/dev/null 2>&1
sleep 0.5
# i3 moves a floating window as the monitors change, and keeps it whole: with the workspace
# it is on, to the primary monitor.
# i3 takes its time under load: the check waits for it.
if [ "$manager" = i3 ]; then
  check "split into two monitors, i3 takes the bar to the left one" wait_until 5 whole_on 0 0 512 600
else
  check "split into two monitors, the bar stays on the right one" wait_until 5 whole_on 512 0 512 600
fi
xrandr --delmonitor right >/dev/null 2>&1
check "the right monitor removed, the bar stands wholly on the left one within 1 s" \
  within_ms 1000 whole_on 0 0 512 600
# A manager that moves windows off a removed monitor a moment later (openbox does, at times
# after the bar has moved itself) may leave a sliver of it in view; the bar looks again.
if [ "$manager" != i3 ]; then
  xrandr --setmonitor right 512/135x600/159+512+0 none >/dev/null 2>&1
  sleep 0.5
  xrandr --delmonitor right >/dev/null 2>&1
  sleep 0.1
  xdotool windowmove "$(bar_id)" 472 0
  check "moved to a sliver a moment after the change, the bar comes back whole within 1 s" \
    within_ms 1000 whole_on 0 0 512 600
fi
xrandr --delmonitor left >/dev/null 2>&1
# A lower resolution, once the monitors' changes are over: nothing changes but the one
# screen's size (Xephyr offers the sizes of its mode list only).
sleep 1
before=$(bar_outer)
xrandr -s 640x480 >/dev/null 2>&1
sleep 0.5
[ "$manager" = i3 ] ||
  check "a smaller screen that still shows the bar leaves it" [ "$(bar_outer)" = "$before" ]
xrandr -s 320x240 >/dev/null 2>&1
# Wider than the screen: its left edge, where the text starts, on it.
check "a screen narrower than the bar takes its left edge within 1 s" \
  within_ms 1000 eval 'whole_on 0 0 400 240 && [ "$(bar_outer | cut -d, -f1)" = 0 ]'

# KWin keeps a size of its own on a screen narrower than the bar: the bar asks for its place
# for up to 2 s before it takes the manager's word, and stores what it asked for until then.
if [ "$manager" = kwin ]; then sleep 2.5; else sleep 0.5; fi
last_seen=$(seen_place)
end_program
check "the end stores where it is now ($last_seen)" [ "$(stored_place)" = "$last_seen" ]

# Hidden and shown again from its icon, the bar is still off the task bar: a manager drops
# the states of a window it unmaps. The icon is on a panel over the session bus.
xrandr -s 1024x768 >/dev/null 2>&1
start_watcher || exit 1
start_program
check "the icon registers with the panel" watcher_item
check "the bar shows" wait_until 10 bar_shown
menu=$(ask_watcher menu)
ask_watcher "click $(echo "$menu" | awk '$6 == "Свернуть" { print $2 }')" >/dev/null
check "Свернуть hides the bar" wait_until 2 bar_hidden
ask_watcher activate >/dev/null
check "shown again from the icon, it is still off the task bar" wait_until 2 \
  eval 'bar_shown && xprop -id "$(bar_id)" _NET_WM_STATE | grep SKIP_TASKBAR | grep -q SKIP_PAGER'

# Started again while it runs, hidden from the menu: the second start brings the bar back and
# ends at once.
ask_watcher "click $(echo "$menu" | awk '$6 == "Свернуть" { print $2 }')" >/dev/null
check "Свернуть hides the bar again" wait_until 2 bar_hidden
"$KESTRION" >"$session_dir/second.log" 2>&1 &
second_pid=$!
started "$second_pid"
if wait_until 3 process_ended "$second_pid"; then
  wait "$second_pid"
  check "a second start ends at once with status 0" [ $? -eq 0 ]
else
  fail "a second start ends at once with status 0"
fi
check "and the running copy's bar shows again" wait_until 2 bar_shown
check "the first copy goes on" kill -0 "$program_pid"
end_program

# At a scale of 2 (QT_SCALE_FACTOR, a screen of high density) the server shows twice the
# pixels, and the place stored is the place asked for: no jump, no doubling at each restart.
settings_text '"login"="demo"' '"pswd"="demo"' '"Top"=dword:00000064' '"Left"=dword:00000064' \
  '"Width"=dword:000000c8' '"Height"=dword:00000016' >"$settings_file"
QT_SCALE_FACTOR=2 start_program
check "at a scale of 2 the bar takes twice the pixels" \
  wait_until 10 eval '[ "$(bar_geometry | cut -d+ -f1)" = 400x44 ] && bar_has_colour 00FF00'
sleep 0.5
end_program
check "and the place stored is the one asked for" [ "$(stored_place)" = "100,100 200x22" ]

report
