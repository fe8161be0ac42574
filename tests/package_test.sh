#!/usr/bin/env bash
# The .deb as a user gets it: made by CPack from this build and unpacked into a throwaway
# root; its command runs from there, and its desktop entry and metainfo pass their validators.
# Usage: package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
source "$(dirname "$0")/script_support.sh"
need dpkg-dev dpkg-shlibdeps
need file file
need desktop-file-utils desktop-file-validate
need appstream appstreamcli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack made no package"
  exit 1
fi
deb=$(echo "$work"/out/kestrion_"$version"-1_*.deb)
dpkg-deb -x "$deb" "$work/root" || exit 1
root=$work/root/usr

check "--version" [ "$("$root/bin/kestrion-check" --version)" = "kestrion-check $version" ]
check "--help" sh -c "'$root/bin/kestrion-check' --help | grep -q '^Usage: kestrion-check'"
check "the desktop entry is valid" desktop-file-validate "$root/share/applications/kestrion.desktop"
check "the metainfo is valid" appstreamcli validate --no-net --no-color \
  "$root"/share/metainfo/*.metainfo.xml
check "every icon size, and the scalable one" test "$(ls "$root"/share/icons/hicolor/*/apps/kestrion.* | wc -l)" -eq 8
check "the manual pages" test -f "$root/share/man/man1/kestrion-check.1.gz" -a -f "$root/share/man/man1/kestrion.1.gz"
check "the libraries come from the binaries" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libqt6widgets6.*libcurl4\|libcurl4.*libqt6widgets6'"
check "Qt's X11 plugin too" sh -c "dpkg-deb -f '$deb' Depends | grep -q qt6-qpa-plugins"
report
