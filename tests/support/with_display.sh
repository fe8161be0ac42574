#!/usr/bin/env bash
# Runs a command with an X server, for Windows programs with windows under Wine. Usage:
# with_display.sh COMMAND [ARGUMENTS...]
#
# The X server is the one named by KESTRION_TEST_DISPLAY when it is alive; else an Xvfb of
# its own on a free display, which it names in KESTRION_TEST_DISPLAY for the command, so that
# every nested run (make check-win runs the whole Windows ctest under one) shares it. Wine's
# desktop outlives the program that started it by a few seconds; on a display of its own,
# a case started in those seconds would find that desktop on an X server already gone.
#
# As on Windows, a taskbar takes the foot of the screen: the work area that Wine reports (read
# from _NET_WORKAREA when its server starts) is 28 pixels shorter than the monitor. The X
# server keeps it while no client is connected (-noreset).
set -uo pipefail
source "$(dirname "$0")/script_support.sh"
shared=${KESTRION_TEST_DISPLAY:-}
if [ -n "$shared" ] && [ -S "/tmp/.X11-unix/X${shared#:}" ]; then
  DISPLAY=$shared exec "$@"
fi
need xvfb Xvfb
need x11-utils xprop
state=$(mktemp -d)
trap 'end_started; rm -rf "$state"' EXIT
start_xvfb "$state" -noreset || exit 1
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA 0,0,1024,740 || exit 1
export KESTRION_TEST_DISPLAY=$DISPLAY
"$@"
