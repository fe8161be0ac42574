#!/usr/bin/env bash
# The Windows windows at 120, 144 and 192 dpi (96 is every other run's): the cases of
# win_gui_tests that check what the DPI scales and that every text still fits, once at each. Wine reads the DPI from its
# registry when its server starts, so each DPI gets a server of its own, in a prefix that no
# other test shares (a server ended under them would end their programs too); 96 is put back
# at the end.
# Usage: dpi_win_test.sh WINE_RUN WIN_GUI_TESTS_EXE PREFIX
set -uo pipefail
wine=$1 tests=$2
export WINEPREFIX=$3
source "$(dirname "$0")/../support/script_support.sh"
need wine wineserver

set_dpi() {  # DPI
  local key
  for key in 'HKCU\Control Panel\Desktop' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
  done
  wineserver -k
  wineserver -w
}
trap 'set_dpi 96' EXIT

for dpi in 120 144 192; do
  set_dpi "$dpi"
  check "at $dpi dpi" env KESTRION_TEST_DPI="$dpi" "$wine" "$tests" \
    --gtest_filter=FormMainWinTest.EveryWindowIsDrawnAtTheDisplaysDpi:SettingsDialogWin.EveryTextFitsItsControlAtTheDisplaysDpi
done
report
