# Checks for the test scripts: what a test needs, one line a check, a closing count.

passed=0 failed=0

need() {  # PACKAGE PROGRAM...: ends the test with one line when a program is missing
  local package=$1 program
  shift
  for program in "$@"; do
    command -v "$program" >/dev/null 2>&1 && continue
    echo "FAIL: $program is missing; it comes with the Debian package $package (tools/bootstrap)" >&2
    exit 1
  done
}

check() {  # NAME COMMAND...: counts the command's result as one check
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

report() {  # the closing line; fails when a check did
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
