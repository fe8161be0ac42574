#!/usr/bin/env python3
"""The cost of one status update: a start of kestrion-check against one poll of a
kestrion-check --follow that keeps running, interleaved, each update timed alone.

  follow_cost.py FIGURES_DIR NAME RUNS COMMAND...

Each run, one start of COMMAND (wall time; CPU time, user + system, from the children's
rusage) and one update of COMMAND --follow (SIGUSR1 to the line printed; CPU time of all its
threads from their schedstat, in ns). Appends NAME_start_wall_us, NAME_start_cpu_us,
NAME_follow_wall_us and NAME_follow_cpu_us to FIGURES_DIR/follow.RUN. Ends the follow process
with SIGTERM and fails unless it ends within a second with status 0.
"""
import os
import resource
import signal
import subprocess
import sys
import time
from pathlib import Path


def children_cpu_us():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (usage.ru_utime + usage.ru_stime) * 1e6


def process_cpu_us(pid):
    total = 0
    for task in Path(f"/proc/{pid}/task").iterdir():
        total += int((task / "schedstat").read_text().split()[0])
    return total / 1000


def main(args):
    if len(args) < 4:
        sys.exit(__doc__)
    figures, name, runs, command = Path(args[0]), args[1], int(args[2]), args[3:]
    follow = subprocess.Popen(command + ["--follow"], stdout=subprocess.PIPE, text=True)
    if not follow.stdout.readline():
        sys.exit(f"follow_cost: {name}: no first line")
    for run in range(1, runs + 1):
        before, started = children_cpu_us(), time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=False)
        start_wall, start_cpu = (time.perf_counter() - started) * 1e6, children_cpu_us() - before

        before, started = process_cpu_us(follow.pid), time.perf_counter()
        follow.send_signal(signal.SIGUSR1)
        if not follow.stdout.readline():
            sys.exit(f"follow_cost: {name}: no line after SIGUSR1")
        follow_wall = (time.perf_counter() - started) * 1e6
        follow_cpu = process_cpu_us(follow.pid) - before

        with open(figures / f"follow.{run}", "a") as out:
            out.write(f"{name}_start_wall_us={start_wall:.0f}\n{name}_start_cpu_us={start_cpu:.0f}\n"
                      f"{name}_follow_wall_us={follow_wall:.0f}\n{name}_follow_cpu_us={follow_cpu:.0f}\n")
    follow.send_signal(signal.SIGTERM)
    try:
        status = follow.wait(timeout=1)
    except subprocess.TimeoutExpired:
        follow.kill()
        sys.exit(f"follow_cost: {name}: --follow did not end within 1 s of SIGTERM")
    if status != 0:
        sys.exit(f"follow_cost: {name}: --follow ended with status {status}")


if __name__ == "__main__":
    main(sys.argv[1:])
