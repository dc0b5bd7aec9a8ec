#!/usr/bin/env python3
"""`vexo-cli check` of a long public-list-like proxy list on loopback, one
process per run as a user starts it, printing key=value lines.

    million_bench.py CLI JUDGE_URL LIVE_PORTS ENTRIES BOTS [CONNECT_TIMEOUT TIMEOUT]

The list mixes three kinds of entry in a fixed shuffled order:
  90% dead:    listening ports whose accept queue is full and never emptied,
               so the kernel drops every further connection attempt, as a
               host that is down does (the check ends by its connect timeout);
   5% refusing: bound ports without a listener (a reset at once);
   5% live:    the ports of LIVE_PORTS (comma-separated), a proxy in front of
               the judge at JUDGE_URL.
Printed: wall time, checks per second, the process's CPU per check (user and
system), its peak memory, the outcome counts, and the bound
entries x dead share x connect timeout / bots with the time's ratio to it.
"""
import os
import random
import select
import socket
import sys
import tempfile
import time

DEAD_PORTS = 16
REFUSING_PORTS = 8


def dead_listener():
    """A listener whose one-place accept queue is taken by a connection that
    is never accepted: the kernel drops any further attempt's SYN."""
    lst = socket.socket()
    lst.bind(("127.0.0.1", 0))
    lst.listen(0)
    filler = socket.create_connection(lst.getsockname())
    # Make sure the queue is full: one more attempt must hang.
    probe = socket.socket()
    probe.setblocking(False)
    probe.connect_ex(lst.getsockname())
    _, writable, _ = select.select([], [probe], [], 0.3)
    probe.close()
    if writable:
        raise SystemExit("a dead listener took a connection: its queue is not full")
    return lst, filler


def refusing_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    return s


def write_list(path, entries, dead, refusing, live):
    rng = random.Random(1)
    kinds = [0] * (entries * 90 // 100) + [1] * (entries * 5 // 100)
    kinds += [2] * (entries - len(kinds))
    rng.shuffle(kinds)
    pools = (dead, refusing, live)
    with open(path, "w") as f:
        for i, k in enumerate(kinds):
            pool = pools[k]
            f.write("127.0.0.1:%d\r\n" % pool[i % len(pool)])
    return kinds.count(0), kinds.count(1), kinds.count(2)


def main():
    cli, judge, live = sys.argv[1], sys.argv[2], [int(p) for p in sys.argv[3].split(",")]
    entries, bots = int(sys.argv[4]), int(sys.argv[5])
    connect_timeout = float(sys.argv[6]) if len(sys.argv) > 6 else 3.0
    timeout = int(sys.argv[7]) if len(sys.argv) > 7 else 8
    held = []
    dead = []
    for _ in range(DEAD_PORTS):
        lst, filler = dead_listener()
        held += [lst, filler]
        dead.append(lst.getsockname()[1])
    refusing = []
    for _ in range(REFUSING_PORTS):
        s = refusing_port()
        held.append(s)
        refusing.append(s.getsockname()[1])

    with tempfile.TemporaryDirectory() as d:
        lst = os.path.join(d, "list.txt")
        n_dead, n_refusing, n_live = write_list(lst, entries, dead, refusing, live)
        out = os.path.join(d, "results.json")
        argv = [cli, "check", lst, "--dir", d, "--bots", str(bots), "--connect-timeout",
                "%g" % connect_timeout, "--timeout", str(timeout), "--judge", judge,
                "--own-address", "192.0.2.1", "--format", "json", "--output", out, "--quiet"]
        start = time.monotonic()
        pid = os.posix_spawn(cli, argv, os.environ)
        _, status, usage = os.wait4(pid, 0)
        wall = time.monotonic() - start
        counts = {"good": 0, "bad": 0, "timeout": 0}
        with open(out) as f:
            for line in f:
                for state in counts:
                    if '"state":"%s"' % state in line:
                        counts[state] += 1
    for s in held:
        s.close()

    bound = entries * 0.9 * connect_timeout / bots
    cpu = usage.ru_utime + usage.ru_stime
    print("entries=%d\nbots=%d\nconnect_timeout_seconds=%g\ntimeout_seconds=%d"
          % (entries, bots, connect_timeout, timeout))
    print("dead=%d\nrefusing=%d\nlive=%d" % (n_dead, n_refusing, n_live))
    print("exit_status=%d" % os.waitstatus_to_exitcode(status))
    print("good=%d\nbad=%d\ntimeouts=%d" % (counts["good"], counts["bad"], counts["timeout"]))
    print("wall_seconds=%.1f\nbound_seconds=%.1f\nratio_to_bound=%.3f"
          % (wall, bound, wall / bound))
    print("checks_per_second=%.0f" % (entries / wall))
    print("cpu_us_per_check=%.1f\nuser_us_per_check=%.1f\nsystem_us_per_check=%.1f"
          % (cpu * 1e6 / entries, usage.ru_utime * 1e6 / entries,
             usage.ru_stime * 1e6 / entries))
    print("peak_rss_mib=%.1f" % (usage.ru_maxrss / 1024))
    ok = counts["good"] == n_live and counts["timeout"] == n_dead and counts["bad"] == n_refusing
    print("outcomes_as_expected=%s" % ("yes" if ok else "NO"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
