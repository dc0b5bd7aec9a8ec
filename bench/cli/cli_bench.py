#!/usr/bin/env python3
"""Times vexo-cli as a user runs it, one process per run, and prints
key=value lines.

    cli_bench.py silent CLI ENTRIES BOTS TIMEOUT
        `vexo-cli check` of ENTRIES proxies that take the connection and the
        request and never answer: the run's time against the bound
        ceil(ENTRIES / BOTS) * TIMEOUT seconds, and its peak memory.
    cli_bench.py leech CLI SITERUN_BENCH BASE SITES BOTS ROUNDS
        `vexo-cli leech` of the pages BASE0.html .. against the run-object
        benchmark (`siterun_bench --profile run`, a TSiteRun in a program of
        its own) on the same pages, alternated ROUNDS times: sites per second
        of each (medians, whole processes) and their ratio.
"""
import math
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time


def run(argv, stdin=None, stdout=subprocess.DEVNULL):
    """Runs a process to its end: (seconds, exit status, peak KiB)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    return seconds, proc.returncode, usage.ru_maxrss, err


def silent(cli, entries, bots, timeout):
    # Listening sockets that never accept: the kernel takes each connection
    # and its request, and nothing ever answers. Each port's queue holds
    # connections until the run ends, so no port gets more than 1000.
    ports = max(1, math.ceil(entries / 1000))
    socks = []
    for _ in range(ports):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        s.listen(65535)
        socks.append(s)
    with tempfile.TemporaryDirectory() as d:
        lst = os.path.join(d, "silent.txt")
        with open(lst, "w") as f:
            for i in range(entries):
                f.write("127.0.0.1:%d\r\n" % socks[i % ports].getsockname()[1])
        out = os.path.join(d, "results.json")
        seconds, status, peak, err = run(
            [cli, "check", lst, "--dir", d, "--bots", str(bots), "--timeout", str(timeout),
             "--judge", "http://127.0.0.1:9/judge", "--own-address", "192.0.2.1",
             "--format", "json", "--output", out, "--quiet"])
        with open(out) as f:
            timeouts = sum('"state":"timeout"' in line for line in f)
    bound = math.ceil(entries / bots) * timeout
    print("entries=%d\nbots=%d\ntimeout_seconds=%d\nports=%d" % (entries, bots, timeout, ports))
    print("exit_status=%d\ntimeouts=%d" % (status, timeouts))
    print("seconds=%.2f\nbound_seconds=%d\nratio_to_bound=%.3f" % (seconds, bound, seconds / bound))
    print("peak_rss_kib=%d" % peak)
    if err:
        print("stderr=%s" % err.strip().replace("\n", " | "))
    return timeouts == entries


def leech(cli, bench, base, sites, bots, rounds):
    with tempfile.TemporaryDirectory() as d:
        lst = os.path.join(d, "sites.txt")
        with open(lst, "w") as f:
            for i in range(sites):
                f.write("%s%d.html\r\n" % (base, i))
        cli_dir = os.path.join(d, "cli")
        run_dir = os.path.join(d, "run")
        os.mkdir(cli_dir)
        os.mkdir(run_dir)
        cli_rates, run_rates, cli_peaks, run_peaks = [], [], [], []
        for _ in range(rounds):
            s, status, peak, err = run([bench, "--base", base, "--sites", str(sites), "--bots",
                                        str(bots), "--folder", run_dir, "--profile", "run",
                                        "--rounds", "1"])
            if status != 0:
                print("siterun_bench failed: %s" % err)
                return False
            run_rates.append(sites / s)
            run_peaks.append(peak)
            s, status, peak, err = run([cli, "leech", lst, "--dir", cli_dir, "--bots", str(bots),
                                        "--quiet", "--output", "/dev/null"])
            if status != 0:
                print("vexo-cli failed (%d): %s" % (status, err))
                return False
            cli_rates.append(sites / s)
            cli_peaks.append(peak)
        same = open(os.path.join(cli_dir, "Proxies.txt"), "rb").read() == \
            open(os.path.join(run_dir, "Proxies.txt"), "rb").read()
    run_rate, cli_rate = statistics.median(run_rates), statistics.median(cli_rates)
    print("sites=%d\nbots=%d\nrounds=%d (medians; whole processes, alternated)" % (sites, bots, rounds))
    print("run_object_sites_per_second=%.1f\ncli_sites_per_second=%.1f" % (run_rate, cli_rate))
    print("run_object_rates=%s\ncli_rates=%s" % (" ".join("%.1f" % r for r in run_rates),
                                                 " ".join("%.1f" % r for r in cli_rates)))
    print("run_object_peak_rss_kib=%d\ncli_peak_rss_kib=%d" % (max(run_peaks), max(cli_peaks)))
    print("same_proxies_txt=%s" % ("yes" if same else "NO"))
    print("ratio_cli_to_run_object=%.3f" % (cli_rate / run_rate))
    return same


if __name__ == "__main__":
    kind = sys.argv[1]
    if kind == "silent":
        ok = silent(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]))
    else:
        ok = leech(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6]),
                   int(sys.argv[7]))
    sys.exit(0 if ok else 1)
