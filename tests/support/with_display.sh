#!/usr/bin/env bash
# Runs a command with an X server of its own (Xvfb on a free display), for Windows programs
# with windows under Wine. Usage: with_display.sh COMMAND [ARGUMENTS...]
set -uo pipefail
source "$(dirname "$0")/script_support.sh"
need xvfb Xvfb
state=$(mktemp -d)
trap 'end_started; rm -rf "$state"' EXIT
start_xvfb "$state" || exit 1
"$@"
