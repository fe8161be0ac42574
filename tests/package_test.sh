#!/usr/bin/env bash
# The .deb as a user gets it: made by CPack from this build and unpacked into a throwaway
# root; its command runs from there, and its desktop entry and metainfo pass their validators.
# With WINE_RUN, the Windows build's zip instead: its programs' headers and import tables, for
# both widths (the 32-bit programs built in WIN32_BIN).
# Usage: package_test.sh BUILD_DIR VERSION [WINE_RUN WIN32_BIN]
set -uo pipefail
build=$1 version=$2 wine=${3:-} win32_bin=${4:-}
source "$(dirname "$0")/support/script_support.sh"

# Libraries Windows always takes from its system folder (KnownDLLs), and the common controls,
# which the manifest binds to the system's side-by-side assembly. Any other library would be
# looked for beside the program before main could stop it, and must be delay-loaded.
load_time_libraries=(ADVAPI32.dll COMCTL32.dll GDI32.dll KERNEL32.dll msvcrt.dll ole32.dll
                     OLEAUT32.dll SHELL32.dll SHLWAPI.dll USER32.dll)

# The DLL names in the import tables of objdump's report.
imported() { awk '/DLL Name:/ { print $3 }' <<<"$1"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_package() {  # GENERATOR: into $work/out, or the test ends
  cpack -G "$1" -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 && return
  cat "$work/cpack.log"
  echo "FAIL: cpack made no package"
  exit 1
}

if [ -n "$wine" ]; then
  need binutils-mingw-w64-x86-64 x86_64-w64-mingw32-objdump x86_64-w64-mingw32-nm
  need unzip unzip
  make_package ZIP
  unzip -q "$work/out/kestrion-$version-win64.zip" -d "$work" || exit 1
  root=$work/kestrion-$version-win64
  check "the README" test -f "$root/README.txt"
  check "--version" [ "$("$wine" "$root/x64/kestrion-check.exe" --version | tr -d '\r')" = "kestrion-check $version" ]
  # x64 with ASLR above 4 GiB too; a 32-bit program has no such thing. (A 32-bit name has one
  # more underscore.)
  for width in "x64 $build/bin HIGH_ENTROPY_VA" "x86 $win32_bin"; do
    read -r folder bin high_entropy <<<"$width"
    for program in kestrion kestrion-check; do
      name=$folder/$program.exe
      report=$(x86_64-w64-mingw32-objdump -p "$root/$name")
      for flag in DYNAMIC_BASE $high_entropy NX_COMPAT; do
        check "$name: $flag" grep -q "^[[:space:]]*$flag\$" <<<"$report"
      done
      for library in $(imported "$report"); do
        check "$name: $library is taken from the system folder" \
          grep -qix "$library" < <(printf '%s\n' "${load_time_libraries[@]}")
      done
      # The zip's programs are stripped; the build's still name what is compiled in. GNU ld
      # leaves the delay-import directory of the headers empty (the program's own helper
      # reads the descriptor), so the descriptor is found by its name.
      symbols=$(x86_64-w64-mingw32-nm "$bin/$program.exe")
      check "$name: WININET.dll is delay-loaded" \
        grep -q ' __DELAY_IMPORT_DESCRIPTOR_libwininet_delay_a$' <<<"$symbols"
      check "$name: stack protector" grep -q ' _\?__stack_chk_fail$' <<<"$symbols"
      check "$name: _FORTIFY_SOURCE" grep -q ' _\?__[a-z]*_chk$' <<<"$symbols"
    done
  done
  report
  exit
fi

need dpkg-dev dpkg-shlibdeps
need file file
need desktop-file-utils desktop-file-validate
need appstream appstreamcli

make_package DEB
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
check "the replies are read with expat, not libxml2" sh -c "dpkg-deb -f '$deb' Depends | grep -q libexpat1 && ! dpkg-deb -f '$deb' Depends | grep -q libxml2"
report
