#!/usr/bin/env python3
"""bench/RESULTS.md from the figures of bench/run's scenarios: medians, and ratios against
the baselines measured in the same run.

  report.py FIGURES_DIR > bench/RESULTS.md
  report.py --medians FIGURES_DIR SCENARIO      the medians of one scenario

FIGURES_DIR holds one file a run, SCENARIO.RUN (and meta), of KEY=VALUE lines; a value is a
number, perhaps followed by its unit, or, in meta, text.
"""
import statistics
import sys
from collections import defaultdict
from pathlib import Path


def load(folder):
    runs = defaultdict(list)
    for path in sorted(Path(folder).iterdir()):
        values = dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line)
        runs[path.name.split(".")[0]].append(values)
    return runs


class Figures:
    def __init__(self, folder):
        self.runs = load(folder)
        self.meta = self.runs["meta"][0] if self.runs["meta"] else {}

    def all(self, scenario, key):
        found = [run[key] for run in self.runs[scenario] if key in run]
        if not found:
            sys.exit(f"report: no figure {key} in the scenario {scenario}")
        return found

    def median(self, scenario, key):
        return statistics.median(float(v.split()[0]) for v in self.all(scenario, key))

    def unit(self, scenario, key):
        return self.all(scenario, key)[0].split()[1]

    def count(self, scenario):
        return len(self.runs[scenario])


def num(v):
    return f"{v:.0f}" if abs(v) >= 100 else f"{v:.1f}" if abs(v) >= 10 else f"{v:.2f}"


def ratio(a, b):
    return f"{a / b:.2f}" if b > 0 else "n/a"


def met(value, bound):
    return "met" if value <= bound else "not met"


def table(header, rows):
    return "\n".join([f"| | {header} |", "|---|---|---|---|"] + rows)


def row(label, a, b, unit=""):
    unit = f" {unit}" if unit else ""
    return f"| {label} | {num(a)}{unit} | {num(b)}{unit} | {ratio(a, b)} |"


def gb_row(f, scenario, label, ours, theirs):
    a, b = f.median(scenario, ours), f.median(scenario, theirs)
    return (f"| {label} | `{ours}` {num(a)} {f.unit(scenario, ours)} | "
            f"`{theirs}` {num(b)} {f.unit(scenario, theirs)} | {ratio(a, b)} |")


def gb_ratio(f, scenario, ours, theirs):
    return f.median(scenario, ours) / f.median(scenario, theirs)


POLL_ROWS = [
    ("http, kept client vs bare GET, kept handle", "BM_PollBalance/http", "BM_BareCurlKeptGet/http"),
    ("https, kept client vs bare GET, kept handle", "BM_PollBalance/https",
     "BM_BareCurlKeptGet/https"),
    ("http, one-off HttpGet vs bare GET, new handle", "BM_PollBalanceOneOff/http",
     "BM_BareCurlGet/http"),
    ("https, one-off HttpGet vs bare GET, new handle",
     "BM_PollBalanceOneOff/https", "BM_BareCurlGet/https"),
]
PIECES_ROWS = [
    ("reply ok_summa.xml: read vs bare expat parse", "BM_ReadReply/ok_summa",
     "BM_BareXmlParse/ok_summa"),
    ("reply error_text.xml, the same", "BM_ReadReply/error_text", "BM_BareXmlParse/error_text"),
    ("EncodeURL of a 1.4 KB address vs curl_easy_escape", "BM_EncodeURL", "BM_CurlEscape"),
    ("ReadSettings from the file vs reading its bytes", "BM_ReadSettings",
     "BM_ReadSettingsFileBytes"),
]


def report(f):
    m = f.meta
    out = []
    say = out.append
    say(f"""# Benchmark results

Written by `bench/run` (`make bench`) from the figures its scenarios wrote (bench/report.py);
rerun it to measure your machine. Each figure is a median over the runs, measured beside its
baseline in the same run; the machines are shared and noisy, so the ratios are the claims.

- {m['date']}; {m['cpus']} CPUs, {m['cpu']}; load average at the end {m['load']}
- {m['build_type']}, {m['compiler']}, {m['curl']}
- bench/run took {m['total_s']} s, builds included
""")

    def ms(key):
        return f.median("process", key) / 1000

    say(f"""## 1. One poll, whole process

kestrion-check against the test billing server on loopback beside command-line curl making
the same request (compared in the server's log first: `{m['request_line']}`); {f.count('process')}
runs each, interleaved, process start included.

{table("kestrion-check | curl | ratio", [
        row("http (the server as the proxy)", ms("check_http_us"), ms("curl_http_us"), "ms"),
        row("https (self-signed)", ms("check_https_us"), ms("curl_https_us"), "ms")])}

```
{m['command_check_http']}
{m['command_curl_http']}
{m['command_check_https']}
{m['command_curl_https']}
```
""")

    def update(key):
        return f.median("follow", key) / 1000

    def follow_ratio(scheme, what):
        return update(f"{scheme}_follow_{what}_us") / update(f"{scheme}_start_{what}_us")

    say(f"""## 2. An update of a status bar

`bench/follow_cost.py`: one `kestrion-check --follow` kept running, each update asked for with
SIGUSR1 and timed to its line, beside a start of kestrion-check for each update, as a status
bar's `interval` makes it; {f.count('follow')} updates each, interleaved. CPU time is user +
system: of the follow process's threads (schedstat) for its update, of the whole child for a
start. Over https the command is built for the test server's https listener.

{table("--follow | a start | ratio", [
        row("http, CPU time an update", update("http_follow_cpu_us"), update("http_start_cpu_us"), "ms"),
        row("http, wall time an update", update("http_follow_wall_us"), update("http_start_wall_us"), "ms"),
        row("https, CPU time an update", update("https_follow_cpu_us"), update("https_start_cpu_us"), "ms"),
        row("https, wall time an update", update("https_follow_wall_us"), update("https_start_wall_us"),
            "ms")])}

Goal: an update of --follow costs at most a fifth of a start's CPU time over http
({follow_ratio("http", "cpu"):.2f}: {met(follow_ratio("http", "cpu"), 0.2)}) and a tenth over https
({follow_ratio("https", "cpu"):.2f}: {met(follow_ratio("https", "cpu"), 0.1)}); its wall time
{follow_ratio("http", "wall"):.2f} and {follow_ratio("https", "wall"):.2f} of a start's.
""")

    single = gb_ratio(f, "poll", "BM_PollBalance/https", "BM_BareCurlKeptGet/https")
    http = gb_ratio(f, "poll", "BM_PollBalance/http", "BM_BareCurlKeptGet/http")
    say(f"""## 3. One poll, in process

`{m['bin']}/poll_benchmark` (Google Benchmark, {m['repetitions']} repetitions, interleaved, wall
time): PollBalance with the real connection check, settings file, HTTP client and parser
against the in-process test server, beside bare libcurl GETs of the same address. The kept
client and its baselines make a new connection for every request; over https neither checks
the self-signed certificate, so each request is one handshake.

{table("Kestrion | baseline | ratio", [gb_row(f, "poll", *r) for r in POLL_ROWS])}

Goal: the kept-client poll within 1.2x the bare GET over https ({single:.2f}:
{met(single, 1.2)}) and within 2.2x over http ({http:.2f}: {met(http, 2.2)}).

## 4. The pieces

`{m['bin']}/pieces_benchmark`, as above.

{table("Kestrion | baseline | ratio", [gb_row(f, "pieces", *r) for r in PIECES_ROWS])}
""")

    def start(key):
        return f.median("startup", key)

    say(f"""## 5. The desktop program at start

`bench/first_status.sh`: each run a fresh Xvfb with trayer and the test server as the proxy;
kestrion beside bench/baseline/minimal_tray (a tray icon, a green label, one libcurl GET at
start), in alternating order; {f.count('startup')} runs. The status is found by screenshots,
which take tens of milliseconds each.

{table("kestrion | minimal_tray | ratio", [
        row(label, start(f"kestrion_{key}"), start(f"tray_{key}"), unit)
        for label, key, unit in [("start to the first request at the server", "request_ms", "ms"),
                                 ("start to the first status on screen", "status_ms", "ms"),
                                 ("resident memory then", "rss_kib", "KiB")]])}

kestrion-check's whole poll in the same runs: {num(start("check_ms"))} ms.
""")

    polls = m["day_polls"]
    marks = m["day_marks"].split(",")

    def day(who, what, mark, scenario="day"):
        return f.median(scenario, f"{who}_{what}_{mark}")

    def per_poll(who):
        return ((day(who, "cpu", polls) - day(who, "cpu", 100))
                / (day(who, "polls", polls) - day(who, "polls", 100)))

    def idle(who):
        seconds = f.median("idle", "seconds")
        return (f.median("idle", f"{who}_after") - f.median("idle", f"{who}_before")) * 60 / seconds

    def growth(who, scenario="day"):
        return day(who, "rss", polls, scenario) - day(who, "rss", 1000, scenario)

    def along(scenario):
        return ", ".join(f"{num(day('kestrion', 'rss', mark, scenario) / 1024)}" for mark in marks)

    cpu = per_poll("kestrion") / per_poll("tray")
    before = ""
    if f.count("day-before"):
        before = f"""
Before, at {m['before_rev']} (the same variant built from that commit, run after the above the
same way): {num(day("kestrion", "rss", 1000, "day-before"))} KiB after 1000 polls,
{num(day("kestrion", "rss", polls, "day-before"))} KiB after {polls}, a growth of
{num(growth("kestrion", "day-before"))} KiB; MiB at each mark: {along("day-before")}.
"""
    say(f"""## 6. All day, and for days

kestrion built to poll every {m['day_every_ms']} ms over https beside minimal_tray `--every
{m['day_every_ms']}` (a plain libcurl GET of a second test server; its label and icon never
change), each in an Xvfb with trayer of its own. Along the run the settings change as a
user's would, on a cycle of {m['day_cycle']} polls: the balance, a wrong password (an error in red)
for a twentieth of it, another account's balance for the next twentieth. Polls are counted in
each server's log; memory and CPU time (user + system) read at 100, 1000 and every
{m['day_cycle']} to {polls}.

{table("kestrion | minimal_tray | ratio", [
        row("resident memory after 100 polls", day("kestrion", "rss", 100), day("tray", "rss", 100), "KiB"),
        row("resident memory after 1000 polls", day("kestrion", "rss", 1000), day("tray", "rss", 1000), "KiB"),
        row(f"resident memory after {polls} polls", day("kestrion", "rss", polls),
            day("tray", "rss", polls), "KiB"),
        f"| growth from poll 1000 to {polls} | {growth('kestrion'):+.0f} KiB | {growth('tray'):+.0f} KiB | |",
        row(f"CPU time after {polls} polls", day("kestrion", "cpu", polls), day("tray", "cpu", polls), "ms"),
        row(f"CPU time a poll, 100th to {polls}th", per_poll("kestrion"), per_poll("tray"), "ms"),
        row("context switches a minute, idle at 20 s polls", idle("kestrion"), idle("tray"))])}

kestrion's resident memory at each mark, MiB: {along("day")}.
{before}
Goals: memory after {polls} polls within 1 MiB of memory after 1000
({growth("kestrion"):+.0f} KiB: {met(growth("kestrion"), 1024)}); CPU time a poll within 2x
minimal_tray's ({cpu:.2f}: {met(cpu, 2)}). The idle row is the shipped kestrion beside
minimal_tray `--every 20000` through the test server as the proxy, counted over
{num(f.median("idle", "seconds"))} s from 3 s after start (all threads).
""")

    def stall(login, key):
        return f.median(f"stall-{login}", key)

    ping = stall("stall", "longest_ms"), stall("demo", "longest_ms")
    end = stall("stall", "end_ms"), stall("demo", "end_ms")
    lost = {login: sum(int(r["sent"]) - int(r["answered"]) for r in f.runs[f"stall-{login}"])
            for login in ("stall", "demo")}
    statuses = {login: ",".join(sorted(set(f.all(f"stall-{login}", "status"))))
                for login in ("stall", "demo")}
    say(f"""## 7. While the server does not answer

The test server takes the request of the login `stall` and never answers; beside it the
same program with `demo`, answered, between polls. Each run a fresh Xvfb with trayer, the two
in alternating order; {f.count('stall-stall')} runs. `ui_ping BAR {m['ping_seconds']}` sends
_NET_WM_PING every 20 ms and takes the longest wait for the answer, which comes only from the
event loop (a loop stopped for 500 ms came out at {num(f.median("probe", "longest_ms"))} ms);
then SIGTERM, timed to the end of the process.

{table("server stalled | server answering | difference", [
        f"| longest answer to _NET_WM_PING | {num(ping[0])} ms | {num(ping[1])} ms | {ping[0] - ping[1]:+.0f} ms |",
        f"| median answer to _NET_WM_PING | {num(stall('stall', 'median_ms'))} ms | {num(stall('demo', 'median_ms'))} ms | |",
        f"| SIGTERM to the end of the process | {num(end[0])} ms | {num(end[1])} ms | {end[0] - end[1]:+.0f} ms |"])}

Goal: the bar answers within 100 ms during the stall ({met(ping[0], 100)}), and the stall adds
at most 1 s to the end ({met(end[0] - end[1], 1000)}). Pings unanswered: {lost['stall']}
stalled, {lost['demo']} answering; exit status {statuses['stall']} and {statuses['demo']}.

### Under Wine
""")

    if "win_note" in m:
        say(f"Not measured in this run: {m['win_note']}.\n")
    else:
        def win(login, key):
            return f.median(f"win-{login}", key)

        ping = win("stall", "longest_ms"), win("demo", "longest_ms")
        end = win("stall", "end_ms"), win("demo", "end_ms")
        say(f"""build-win's kestrion.exe under Wine in an Xvfb without a window manager, the same test
server as the proxy; {f.count('win-stall')} runs. `bar_probe ping` asks the bar with
SendMessageTimeout(WM_NULL), {m['win_pings']} questions a run, the longest taken; `bar_probe
close` posts WM_CLOSE, timed to the end of the wine process.

{table("server stalled | server answering | difference", [
            f"| longest answer to WM_NULL | {num(ping[0])} ms | {num(ping[1])} ms | {ping[0] - ping[1]:+.0f} ms |",
            f"| WM_CLOSE to the end of the process | {num(end[0])} ms | {num(end[1])} ms | {end[0] - end[1]:+.0f} ms |"])}

Goal: the bar answers within 100 ms during the stall ({met(ping[0], 100)}), and the stall adds
at most 1 s to the end ({met(end[0] - end[1], 1000)}). Without a window manager Wine waits
about 2 s for each window it withdraws, which both columns pay.
""")

    if "win_note" not in m:
        say(win_long(f, m))
    return "\n".join(out)


def win_long(f, m):
    """Section 8: kestrion.exe through thousands of polls under Wine."""
    polls = m["win_long_polls"]
    marks = ("300", "1000", polls)
    scenarios = ["win-long"] + (["win-long-before"] if f.count("win-long-before") else [])

    def value(scenario, key):
        raw = f.all(scenario, key)[0]
        return None if raw in ("-", "") else float(raw)

    def grows(scenario, key):
        a, b = value(scenario, f"{key}_1000"), value(scenario, f"{key}_{polls}")
        return None if a is None or b is None else b - a

    measures = [("private bytes", "private", 1 << 20, "MiB"),
                ("working set", "working_set", 1 << 20, "MiB"),
                ("commit (pagefile usage)", "commit", 1 << 20, "MiB"),
                ("handles", "handles", 1, ""), ("GDI objects", "gdi", 1, ""),
                ("USER objects", "user", 1, ""),
                ("resident memory of its process (Linux)", "rss", 1024, "MiB"),
                ("resident memory of the wineserver (Linux)", "server_rss", 1024, "MiB")]
    rows, uncounted = [], []
    for label, key, scale, unit in measures:
        if all(value("win-long", f"{key}_{mark}") is None for mark in marks):
            uncounted.append(label)
            continue
        for scenario in scenarios:
            who = "" if scenario == "win-long" else f" (before, {m['before_rev']})"
            cells = " | ".join(num(value(scenario, f"{key}_{mark}") / scale) for mark in marks)
            g = grows(scenario, key)
            rows.append(f"| {label}{who}{', ' + unit if unit else ''} | {cells} | {g / scale * (1024 if unit == 'MiB' else 1):+.0f}{' KiB' if unit == 'MiB' else ''} |")

    handles = grows("win-long", "handles")
    objects = [grows("win-long", k) for k in ("gdi", "user")]
    counted = [g for g in objects if g is not None]
    working = grows("win-long", "working_set")
    return f"""## 8. For days, under Wine

build-win's kestrion.exe under Wine in an Xvfb without a window manager, the test server as
the proxy, polled {polls} times by the poll timer's own message, which `bar_probe ticks`
posts every {m['win_every_ms']} ms (a tick during a poll is dropped, as the timer's is); the
settings change on the same cycle as section 6, through the registry. At poll 1000 and at
the end the figures are read after a pause of 65 s: WinINet keeps the connection of each
closed request for a minute (Wine's does: a socket handle for each poll of the last minute),
and closes them after it. `bar_probe memory`
reads what Windows counts of the process (GetProcessMemoryInfo, GetProcessHandleCount or,
where that says 0, the system's list of open handles, GetGuiResources); Linux, the resident
memory of the process and of the wineserver, which holds every handle and USER object.

| at poll | 300 | 1000 | {polls} | growth from 1000 |
|---|---|---|---|---|
""" + "\n".join(rows) + f"""

Not counted by Wine, so not quoted: {", ".join(uncounted) if uncounted else "nothing"}.

Goals: no growth in handles from poll 1000 to {polls} ({handles:+.0f}: {met(handles, 0)}), nor in
GDI and USER objects ({"not counted by Wine" if not counted else met(max(counted), 0)}); the
working set within 1 MiB ({working / 1024:+.0f} KiB: {met(working, 1 << 20)}).
"""


def main(args):
    if args[:1] == ["--medians"] and len(args) == 3:
        f = Figures(args[1])
        keys = sorted({key for run in f.runs[args[2]] for key in run})
        for key in keys:
            print(f"{key}: {num(f.median(args[2], key))} (median of {len(f.all(args[2], key))})")
    elif len(args) == 1:
        sys.stdout.write(report(Figures(args[0])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
