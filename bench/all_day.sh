# All day and for days: the desktop program polling fast for thousands of polls beside the
# least a tray program costs, its memory read along the way, and the program idle at its
# normal interval. Sourced by bench/run, whose helpers and variables it uses (log, figures,
# build, work, bin, variant, route, query, http_url, day_polls, day_every_ms, idle_seconds).
#
# A real day has news in it: along the run the settings change as a user's would, so the bar
# goes from the balance to an error and to another balance, on a cycle of day_cycle polls.

day_cycle=1000
rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
cpu_ms() {  # user + system time of the whole process
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%d", ($12 + $13) * 1000 / hz }' \
    "/proc/$1/stat"
}
switches() {  # voluntary and involuntary context switches of all its threads
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n }'
}
polls_in() { grep -c . "$1" || true; }  # REQUEST_LOG

# The servers bench/run started outlive each session here: a session ends only its own.
day_session_begin() { kept_pids=(${started_pids[@]+"${started_pids[@]}"}); started_pids=(); session_begin "$1"; }
day_session_end() { end_started; started_pids=(${kept_pids[@]+"${kept_pids[@]}"}); }

side_by_side() {  # DIR KESTRION GET_URL EVERY_MS: sets kestrion_pid and tray_pid
  day_session_begin "$1"
  start_display && start_tray || return 1
  write_settings demo demo
  KESTRION=$2 start_program
  kestrion_pid=$program_pid
  local display=$DISPLAY
  start_xvfb "$1/baseline" && start_tray || return 1
  "$bin/minimal_tray" --get "$3" --every "$4" >"$1/tray.log" 2>&1 &
  tray_pid=$!
  started "$tray_pid"
  export DISPLAY=$display
}

# The settings for a point of the cycle: mostly the balance, then a wrong password for a
# twentieth of it, then another account's balance.
day_credentials() {  # POLLS
  local at=$(($1 % day_cycle))
  if [ "$at" -lt $((day_cycle * 17 / 20)) ]; then echo "demo demo"
  elif [ "$at" -lt $((day_cycle * 18 / 20)) ]; then echo "demo wrong"
  else echo "other other"; fi
}
vary_settings() {  # REQUEST_LOG: runs until killed, as a user changing the settings
  local last= now n tmp=$settings_file.new
  while :; do
    n=$(polls_in "$1")
    now=$(day_credentials "$n")
    if [ "$now" != "$last" ]; then
      # The program reads the file at every poll: it must never see half of it.
      write_settings_file "$tmp" $now && mv "$tmp" "$settings_file"
      last=$now
    fi
    sleep 0.05
  done
}

sample_day() {  # SCENARIO WHO PID REQUEST_LOG MARK: true once sampled at MARK requests
  local n done=$work/$1-$2-$5
  [ ! -e "$done" ] || return 0
  n=$(polls_in "$4")
  [ "$n" -ge "$5" ] || return 1
  figures "$1.1" "${2}_rss_$5=$(rss_kib "$3")" "${2}_cpu_$5=$(cpu_ms "$3")" "${2}_polls_$5=$n"
  touch "$done"
}
both_sampled() {  # SCENARIO MARK
  local all=0
  sample_day "$1" kestrion "$kestrion_pid" "$work/main/requests.log" "$2" || all=1
  sample_day "$1" tray "$tray_pid" "$work/other/requests.log" "$2" || all=1
  return $all
}

day_marks() { echo 100 $(seq "$day_cycle" "$day_cycle" "$day_polls"); }

# kestrion (KESTRION) polling every day_every_ms over https to the main server, the settings
# varied along the way, beside minimal_tray making a plain GET of the other server's https
# listener as often, each in an Xvfb with trayer of its own: with both always-on-top windows in
# one display, kestrion's idle context switches came out six times higher.
day_run() {  # SCENARIO KESTRION
  local mark
  log "$1: $day_polls polls every $day_every_ms ms"
  mkdir -p "$work/$1/baseline"
  : >"$work/main/requests.log"
  : >"$work/other/requests.log"
  side_by_side "$work/$1" "$2" "$(server_url "$work/other" https)$route$query" "$day_every_ms" ||
    { log "$1: the session did not start"; exit 1; }
  vary_settings "$work/main/requests.log" &
  started $!
  for mark in $(day_marks); do
    wait_until $((day_polls * day_every_ms / 500 + 120)) both_sampled "$1" "$mark" ||
      { log "$1: too few polls in time"; exit 1; }
  done
  day_session_end
  grep -q 'login=other&pswd=other&' "$work/main/requests.log" ||
    { log "$1: the settings never changed"; exit 1; }
}

all_day_linux() {
  figures meta "day_polls=$day_polls" "day_every_ms=$day_every_ms" "day_cycle=$day_cycle" \
    "day_marks=$(day_marks | tr ' ' ,)"
  day_run day "$variant/bin/kestrion"
  [ -z "${before_variant:-}" ] || day_run day-before "$before_variant/bin/kestrion"

  mkdir -p "$work/idle/baseline"
  # Idle at the normal interval: the shipped kestrion and minimal_tray with a GET every 20 s,
  # both through the main server as the http proxy.
  export http_proxy=$http_url
  side_by_side "$work/idle" "$bin/kestrion" "http://balance.example.net$route$query" 20000 ||
    { log "idle: the session did not start"; exit 1; }
  unset http_proxy
  sleep 3  # past the start and the first poll
  figures idle.1 "kestrion_before=$(switches "$kestrion_pid")" "tray_before=$(switches "$tray_pid")"
  sleep "$idle_seconds"
  figures idle.1 "kestrion_after=$(switches "$kestrion_pid")" "tray_after=$(switches "$tray_pid")" \
    "seconds=$idle_seconds"
  day_session_end
}

# Under Wine (in bench/run's Wine session: wine_run, win_key, its server in work/wine):
# kestrion.exe polled win_long_polls times by the timer's own message, which bar_probe posts
# every win_every_ms, the settings varied on the same cycle through the registry; what the
# system counts of the process read at poll 300, at 1000 and at the end (the last two after a
# minute's pause), and the resident memory of its process and of the wineserver, which keeps
# every handle and USER object.
wineserver_pid() {  # the wineserver of this WINEPREFIX
  local pid
  for pid in $(pgrep -x 'wineserver(64)?'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      { echo "$pid"; return 0; }
  done
  return 1
}
win_probe_memory() {  # SCENARIO MARK EXE: what Windows counts, and Linux of the processes
  local counted
  counted=$("$wine_run" "$win_tree/bin/bar_probe.exe" memory | tr -d '\r') ||
    { log "under Wine: bar_probe memory printed '$counted'"; return 1; }
  figures "$1.1" "polls_$2=$(polls_in "$work/wine/requests.log")" \
    $(tr ' ' '\n' <<<"$counted" | sed "s/=/_$2=/") \
    "rss_$2=$(rss_kib "$(pgrep -f "^[^ ]*$3" | head -n 1)")" \
    "server_rss_$2=$(rss_kib "$(wineserver_pid)")"
}
win_long_run() {  # SCENARIO KESTRION_EXE
  local mark ticks n last= now login password
  log "under Wine, $1: $win_long_polls polls"
  "$wine_run" reg add "$win_key" /v login /t REG_SZ /d demo /f >/dev/null 2>&1
  "$wine_run" reg add "$win_key" /v pswd /t REG_SZ /d demo /f >/dev/null 2>&1
  : >"$work/wine/requests.log"
  http_proxy=$(server_url "$work/wine" http) "$wine_run" "$2" &
  local program=$!
  started "$program"
  wait_until 30 test -s "$work/wine/requests.log" || { log "under Wine: no request"; return 1; }
  for mark in 300 1000 "$win_long_polls"; do
    while n=$(polls_in "$work/wine/requests.log") && [ "$n" -lt "$mark" ]; do
      now=$(day_credentials "$n")
      if [ "$now" != "$last" ]; then
        read -r login password <<<"$now"
        "$wine_run" reg add "$win_key" /v login /t REG_SZ /d "$login" /f >/dev/null 2>&1
        "$wine_run" reg add "$win_key" /v pswd /t REG_SZ /d "$password" /f >/dev/null 2>&1
        last=$now
      fi
      ticks=$(((mark - n) < 100 ? (mark - n) : 100))
      "$wine_run" "$win_tree/bin/bar_probe.exe" ticks "$ticks" "$win_every_ms" >/dev/null ||
        { log "under Wine: the bar is gone"; return 1; }
    done
    # The last poll's status shown; from poll 1000 on, past the minute for which WinINet keeps
    # a closed request's connection (Wine's does, a handle each, after a reply that could keep
    # it), so that what is counted is what the program holds.
    if [ "$mark" -lt 1000 ]; then sleep 1; else sleep 65; fi
    win_probe_memory "$1" "$mark" "$2" || return 1
  done
  "$wine_run" "$win_tree/bin/bar_probe.exe" close >/dev/null
  wait "$program" || true
  grep -q 'login=other&pswd=other&' "$work/wine/requests.log" ||
    { log "under Wine, $1: the settings never changed"; return 1; }
}
