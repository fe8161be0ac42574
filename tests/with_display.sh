#!/usr/bin/env bash
# Runs a command with an X server of its own (Xvfb on a free display), for Windows programs
# with windows under Wine. Usage: with_display.sh COMMAND [ARGUMENTS...]
set -uo pipefail
source "$(dirname "$0")/script_support.sh"
need xvfb Xvfb
state=$(mktemp -d)
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -dpi 96 >"$state/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$state"' EXIT
for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$state/display")
"$@"
