#!/usr/bin/env bash
# kestrion-check as a user runs it: settings put in by hand, the test billing server on
# loopback standing in as the HTTP proxy for the operator's host, a real process.
# Usage: check_command_test.sh KESTRION_CHECK TEST_SERVER DATA_DIR [WINE_RUN [REFUSING_DLL]]
# With WINE_RUN the command is the Windows one, run under Wine, and its settings go into
# Wine's registry with regedit; otherwise into the settings file. REFUSING_DLL, a library
# that fails to load, is planted beside a copy of the command as wininet.dll.
set -uo pipefail

source "$(dirname "$0")/../support/script_support.sh"
check=$1 wine=${4:-} refusing=${5:-}
export KESTRION_TEST_SERVER=$2 KESTRION_TEST_DATA=$3
work=$(mktemp -d)
trap 'end_started; rm -rf "$work"' EXIT

start_billing_server "$work" --max-seconds 600 \
  --account demo:demo:123.45 --account 'кот:s3cr3t pw&x:-15,20' \
  --account $'markup:markup:<b>5</b> & co\tнет\nденег' --stall-login stall ||
  { echo "FAIL: the test server did not start"; exit 1; }
http_url=$(server_url "$work" http)

unset https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
export http_proxy=$http_url
export XDG_CONFIG_HOME=$work/config HOME=$work/home
settings=$XDG_CONFIG_HOME/kestrion/registry.reg

regedit_text() { settings_text "$@" | sed 's/$/\r/'; }  # VALUE_LINE...: as regedit writes it

if [ -n "$wine" ]; then
  # tools/wine-run's 64-bit prefix reports Windows 10, its 32-bit one Windows 7.
  echo "note: under $("$wine" cmd /c ver 2>/dev/null | tr -d '\r' | grep .)"
  command_line=("$wine" "$check")
  settings_state() { "$wine" reg query 'HKCU\Software\Kestrion' 2>/dev/null | grep 'REG_'; }
  # Wine's reg and regedit may still be at work when `wine` returns: each change is waited
  # for until a query sees it, so that the next run reads what the test meant.
  settings_cleared() { [ -z "$(settings_state)" ]; }
  settings_written() { [ "$(settings_state | wc -l)" -eq 2 ]; }
  clear_settings() {
    "$wine" reg delete 'HKCU\Software\Kestrion' /f >/dev/null 2>&1
    wait_until 5 settings_cleared
  }
  write_settings() {  # regedit reads a version 5 file as UTF-16
    clear_settings
    regedit_text "$1" "$2" | iconv -f UTF-8 -t UTF-16 >"$work/settings.reg"
    "$wine" regedit /S "$work/settings.reg" >/dev/null 2>&1
    wait_until 5 settings_written
  }
else
  command_line=("$check")
  clear_settings() { rm -f "$settings"; }
  write_settings() {
    mkdir -p "$(dirname "$settings")"
    regedit_text "$1" "$2" >"$settings"
  }
  settings_state() { sha256sum "$settings" 2>/dev/null; }
fi

# The passwords this script stores (beside "demo"); only --stat-url may print them.
secrets=(s3cr3t wrong-secret)

run_once() {  # ARGS...: sets the caller's out and status
  # A Windows console program ends its lines with CR LF.
  out=$(timeout 30 "${command_line[@]}" "$@" 2>"$work/stderr" | tr -d '\r'; exit "${PIPESTATUS[0]}")
  status=$?
}

# run NAME EXPECTED_STATUS EXPECTED_STDOUT [ARGS...]
run() {
  local name=$1 want_status=$2 want_out=$3
  shift 3
  local out status
  run_once "$@"
  # The command prints something in every case. Under Wine a start has once ended with
  # status 1 and nothing printed, before the program ran a line (Wine 8, in CI): such a start
  # is tried once more, and said so.
  if [ -n "$wine" ] && [ "$status" -eq 1 ] && [ -z "$out" ] && [ ! -s "$work/stderr" ]; then
    echo "note: $name: Wine started nothing (status 1, no output); trying again"
    run_once "$@"
  fi
  if [ "$status" -ne "$want_status" ]; then
    fail "$name: exit status $status, expected $want_status (stdout: $out; stderr: $(cat "$work/stderr"))"
  elif [ "$out" != "$want_out" ]; then
    fail "$name: printed '$out', expected '$want_out'"
  else
    pass
  fi
  if [[ " $* " != *" --stat-url "* ]]; then
    for secret in "${secrets[@]}"; do
      grep -q -- "$secret" - "$work/stderr" <<<"$out" && fail "$name: the password was printed"
    done
  fi
}

# No settings yet: nothing is sent and nothing is written.
clear_settings
run "no settings" 1 "Не введены данные"
[ -z "$(settings_state)" ] || fail "no settings: settings were created"
[ ! -s "$work/requests.log" ] || fail "no settings: a request was sent"
# Nor is a statistics address without the login and password a success, also when the
# settings file is there but cannot be read.
run "stat url, no settings" 1 "" --stat-url
grep -q "Не введены данные" "$work/stderr" || fail "stat url, no settings: no message"
if [ -z "$wine" ]; then
  mkdir -p "$settings"
  run "stat url, settings unreadable" 1 "" --stat-url
  rmdir "$settings"
fi

write_settings '"login"="demo"' '"pswd"="demo"'
before=$(settings_state)
run "balance" 0 "Ваш баланс: 123.45"
grep -E -q 'GET[[:space:]]http://balance.example.net(:80)?/korvanta/balance_sender\?login=demo&pswd=demo&mid=9[[:space:]]HTTP/1.0' \
  "$work/requests.log" || fail "balance: request line not as expected: $(cat "$work/requests.log")"
grep -q -i 'proxy-connection\|accept' "$work/requests.log" && fail "balance: headers of curl's own: $(cat "$work/requests.log")"
[ "$(settings_state)" = "$before" ] || fail "balance: the settings changed"

run "waybar" 0 '{"text":"Ваш баланс: 123.45","tooltip":"Kestrion : Ваш баланс: 123.45","class":"ok"}' \
  --format=waybar
run "i3blocks" 0 $'Ваш баланс: 123.45\nВаш баланс: 123.45\n#00FF00' --format=i3blocks

# A wininet.dll beside the program, with Wine told to prefer such a file: the system's is
# used all the same.
if [ -n "$refusing" ]; then
  mkdir "$work/planted"
  cp "$check" "$work/planted/"
  cp "$refusing" "$work/planted/wininet.dll"
  command_line=(env "WINEDLLOVERRIDES=wininet=n,b;mscoree=;mshtml=;winemenubuilder.exe=d"
                "$wine" "$work/planted/$(basename "$check")")
  run "a wininet.dll beside the program" 0 "Ваш баланс: 123.45"
  command_line=("$wine" "$check")
fi

# Cyrillic login, and a password with a blank and a separator, reach the server as typed.
write_settings '"login"="кот"' '"pswd"="s3cr3t pw&x"'
run "credentials as typed" 0 "Ваш баланс: -15,20"
grep -q 'login=%EA%EE%F2&pswd=s3cr3t%20pw%26x&mid=9' "$work/requests.log" ||
  fail "credentials: not encoded as Windows-1251 bytes: $(tail -n 1 "$work/requests.log")"

# Whatever the server sends is one line of plain text; waybar reads its texts as markup.
write_settings '"login"="markup"' '"pswd"="markup"'
run "one line" 0 "Ваш баланс: <b>5</b> & co нет денег"
run "waybar markup" 0 \
  '{"text":"Ваш баланс: &lt;b&gt;5&lt;/b&gt; &amp; co нет денег","tooltip":"Kestrion : Ваш баланс: &lt;b&gt;5&lt;/b&gt; &amp; co нет денег","class":"ok"}' \
  --format=waybar

write_settings '"login"="demo"' '"pswd"="wrong-secret"'
run "wrong password" 1 "Неверный логин или пароль"
# A status bar shows an error, in red, when the user needs it: waybar hides a module whose
# command fails, i3blocks drops a block that exits with anything but 0 or 33 (urgent).
run "waybar error" 0 '{"text":"Неверный логин или пароль","tooltip":"Kestrion : Неверный логин или пароль","class":"error"}' \
  --format=waybar
run "i3blocks error" 33 $'Неверный логин или пароль\nНеверный логин или пароль\n#FF0000' --format=i3blocks
if [ -n "$wine" ]; then
  :  # i3blocks runs the Linux command
elif ! command -v i3blocks >/dev/null; then
  fail "i3blocks is missing; it comes with the Debian package i3blocks (tools/bootstrap)"
else
  i3blocks_block() {  # the block as i3blocks hands it to i3bar, or its complaint
    printf '[balance]\ncommand=%q --format=i3blocks\ninterval=once\n' "$check" >"$work/i3blocks.conf"
    i3blocks -c "$work/i3blocks.conf" </dev/null >"$work/i3blocks.out" 2>&1 &
    local pid=$!
    wait_until 20 grep -q '"name":"balance"\|bad exit code' "$work/i3blocks.out"
    kill "$pid"
    wait "$pid" 2>/dev/null
    grep -o '{[^{]*"name":"balance"[^}]*}\|bad exit code.*' "$work/i3blocks.out" | head -n 1
  }
  block=$(i3blocks_block)
  [[ $block == *'"full_text":"Неверный логин или пароль"'*'"color":"#FF0000"'*'"urgent":true'* ]] &&
    pass || fail "i3blocks error: the block is $block"
fi
run "stat url" 0 \
  "https://stat.example.net/%6B%6F%72%76%61%6E%74%61/%77%65%62%65%78%65%63%75%74%65%72?%75%73%65%72=%64%65%6D%6F&%70%73%77%64=%77%72%6F%6E%67%2D%73%65%63%72%65%74&%6D%69%64%41%75%74%68=%39&%6D%6F%64%75%6C%65=%63%6F%6E%74%72%61%63%74" \
  --stat-url

# A stored login that is not text: its own message, as an error.
write_settings '"login"=dword:00000005' '"pswd"="demo"'
run "login of the wrong type" 1 "Invalid data type for 'login'"

# A damaged file: what can be read is used, and the file is left as it was.
if [ -z "$wine" ]; then
  write_settings '"login"="demo"' '"pswd"="demo"'
  printf 'garbage line\n[unterminated\n' >>"$settings"
  before=$(settings_state)
  run "damaged settings file" 0 "Ваш баланс: 123.45"
  [ "$(settings_state)" = "$before" ] || fail "damaged settings file: it was rewritten"
fi

# The server is gone: the data error, promptly.
write_settings '"login"="demo"' '"pswd"="demo"'
http_proxy=http://127.0.0.1:1 run "server down" 1 "Ошибка в данных или сервер недоступен"
write_settings '"login"="demo"' '"pswd"="wrong-secret"'
http_proxy=http://127.0.0.1:1 run "server down, password kept" 1 "Ошибка в данных или сервер недоступен"

# No network interface but loopback: no connection, nothing sent. (Under Wine the answer
# comes from the Wine session's own service process, which lives outside the namespace.)
if [ -n "$wine" ]; then
  skip "the no-network case: under Wine the connection check is answered outside the namespace"
elif ! command -v unshare >/dev/null; then
  skip "the no-network case: unshare is missing (Debian package util-linux)"
elif ! unshare -n true 2>/dev/null; then
  skip "the no-network case: no network namespaces here"
else
  lines=$(wc -l <"$work/requests.log")
  out=$(unshare -n "${command_line[@]}" | tr -d '\r'; exit "${PIPESTATUS[0]}")
  status=$?
  [ "$status" -eq 1 ] && [ "$out" = "Интернет отсутствует" ] && pass ||
    fail "no network: got '$out' ($status)"
  [ "$(wc -l <"$work/requests.log")" -eq "$lines" ] || fail "no network: a request was sent"
fi

# --follow, as a status bar keeps it running: a line at start and on SIGUSR1, the password
# stored meanwhile used at the next poll, every poll from the one process; SIGTERM and a
# closed output end it at once, a stalled request too.
follow_out=$work/follow.out
start_follow() {  # ARGS...: its output, CR LF made LF, goes to follow_out through a pipe
  : >"$follow_out"
  "${command_line[@]}" --follow "$@" 2>"$work/stderr" > >(sed -u 's/\r$//' >"$follow_out") &
  follow_pid=$!
  started "$follow_pid"
}
follow_lines() { [ "$(wc -l <"$follow_out")" -eq "$1" ]; }  # COUNT
follow_ends_within_ms() {  # MS: with status 0
  local status
  within_ms "$1" process_ended "$follow_pid" || return 1
  wait "$follow_pid"
  status=$?
  [ "$status" -eq 0 ] || { echo "follow: status $status"; return 1; }
}
requests_for() { grep -c "login=$1&" "$work/requests.log"; }  # LOGIN
write_settings '"login"="demo"' '"pswd"="demo"'
before=$(requests_for demo)
start_follow --format=waybar
check "follow: a line at start" wait_until 10 follow_lines 1
check "follow: as waybar reads it" \
  grep -qx '{"text":"Ваш баланс: 123.45","tooltip":"Kestrion : Ваш баланс: 123.45","class":"ok"}' \
  "$follow_out"
if [ -n "$wine" ]; then
  # No signals on Windows: the 20-second timer polls again, with the password stored meanwhile.
  write_settings '"login"="demo"' '"pswd"="wrong-secret"'
  check "follow: the timer's poll uses the new password" wait_until 30 follow_lines 2
  check "follow: and shows its error" grep -q '"class":"error"' "$follow_out"
  "$wine" taskkill /f /im kestrion-check.exe >/dev/null 2>&1
  wait_until 20 process_ended "$follow_pid"
else
  kill -USR1 "$follow_pid"
  check "follow: SIGUSR1 polls at once" wait_until 5 follow_lines 2
  write_settings '"login"="demo"' '"pswd"="wrong-secret"'
  kill -RTMIN+4 "$follow_pid"
  check "follow: so does a real-time signal, with the password stored meanwhile" \
    wait_until 5 follow_lines 3
  check "follow: and shows its error" eval 'tail -n 1 "$follow_out" | grep -q "\"class\":\"error\""'
  check "follow: one poll a line, and none more" [ $(($(requests_for demo) - before)) -eq 3 ]
  kill -TERM "$follow_pid"
  check "follow: SIGTERM ends it within 1 s with status 0" follow_ends_within_ms 1000

  # The output closed: the status bar has gone. No write is needed to notice it.
  start_follow --format=i3blocks
  wait_until 10 follow_lines 1
  pkill -P "$follow_pid" -x sed  # the pipe's reader is the command's own child
  check "follow: a closed output ends it within 1 s" follow_ends_within_ms 1000

  # A server that never answers delays the line, never the end. A click during that poll,
  # with the password mended meanwhile, is kept: once the poll gives up (15 s) its stale
  # result is dropped and the next poll shows the balance at once.
  write_settings '"login"="stall"' '"pswd"="stall"'
  start_follow
  check "follow: the stalled request is under way" wait_until 10 eval '[ "$(requests_for stall)" -ge 1 ]'
  write_settings '"login"="demo"' '"pswd"="demo"'
  kill -USR1 "$follow_pid"
  check "follow: a click during a stalled poll polls again once it gives up" \
    wait_until 18 follow_lines 1
  check "follow: and shows the settings stored last, not the stalled poll's error" \
    grep -qx "Ваш баланс: 123.45" "$follow_out"
  write_settings '"login"="stall"' '"pswd"="stall"'
  kill -USR1 "$follow_pid"
  check "follow: another stalled request is under way" \
    wait_until 10 eval '[ "$(requests_for stall)" -ge 2 ]'
  kill -INT "$follow_pid"
  check "follow: SIGINT during it ends it within 1 s with status 0" follow_ends_within_ms 1000
  check "follow: having printed nothing more" follow_lines 1

  # The real i3blocks, in persistent mode, with the snippet of the README: colour and all.
  write_settings '"login"="demo"' '"pswd"="demo"'
  printf '[balance]\ncommand=%q --follow --format=i3blocks\ninterval=persist\nformat=json\n' \
    "$check" >"$work/i3blocks-follow.conf"
  i3blocks -c "$work/i3blocks-follow.conf" </dev/null >"$work/i3blocks-follow.out" 2>&1 &
  i3blocks_pid=$!
  started "$i3blocks_pid"
  shown='"full_text":"Ваш баланс: 123.45","short_text":"Ваш баланс: 123.45","color":"#00FF00","name":"balance"'
  check "follow: i3blocks shows the balance in green" \
    wait_until 10 grep -q "$shown" "$work/i3blocks-follow.out"
  pkill -USR1 -f -- "^$check --follow"  # not i3blocks' shell around it
  check "follow: and the next one on SIGUSR1" \
    wait_until 5 eval '[ "$(grep -o "$shown" "$work/i3blocks-follow.out" | wc -l)" -ge 2 ]'
  kill -KILL "$i3blocks_pid"  # i3blocks 1.4 ends on no gentler signal
  check "follow: i3blocks gone, the command ends within 1 s" \
    within_ms 1000 eval '! pgrep -f -- "^$check --follow" >/dev/null'

  # The real polybar under Xvfb, with the snippet of the README: green on the screen, and a
  # click on the module polls at once, here with the password stored meanwhile, in red.
  if ! command -v polybar >/dev/null; then
    fail "polybar is missing; it comes with the Debian package polybar (tools/bootstrap)"
  elif start_xvfb "$work"; then
    printf '%s\n' '[bar/b]' 'height = 24' 'font-0 = DejaVu Sans:size=10' 'modules-left = balance' \
      '[module/balance]' 'type = custom/script' "exec = $check --follow --format=polybar" \
      'tail = true' "click-left = pkill -USR1 -f '^$check --follow'" >"$work/polybar.ini"
    polybar -c "$work/polybar.ini" b >"$work/polybar.log" 2>&1 &
    polybar_pid=$!
    started "$polybar_pid"
    screen_has() {  # HEX: a colour on the screen
      import -window root png:- | convert - -format %c histogram:info:- | grep -qi "#$1"
    }
    check "follow: polybar shows the balance in green" wait_until 10 screen_has 00FF00
    before=$(requests_for demo)
    write_settings '"login"="demo"' '"pswd"="wrong-secret"'
    xdotool mousemove 40 12 click 1
    check "follow: a click on it polls at once" wait_until 5 screen_has FF0000
    check "follow: once" [ $(($(requests_for demo) - before)) -eq 1 ]
    kill -TERM "$polybar_pid"
    check "follow: polybar gone, the command ends within 1 s" \
      within_ms 1000 eval '! pgrep -f -- "^$check --follow" >/dev/null'
  else
    fail "polybar: Xvfb did not start"
  fi
fi
write_settings '"login"="demo"' '"pswd"="demo"'

# The command line.
run "unknown option" 2 "" --frobnicate
grep -q "unknown argument '--frobnicate'" "$work/stderr" || fail "unknown option: no message"
run "unknown format" 2 "" --format=xml
run "version" 0 "kestrion-check 0.1.0" --version

report
