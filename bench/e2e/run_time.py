#!/usr/bin/env python3
"""How long a complete silent run of wqdupdate.exe takes under Wine, against a program that only
returns.

Both programs run in one session of one Wine prefix (one wineserver, kept alive), alternately, the
same number of times. The updater's run is complete and ends in UpToDate (exit code 1): it checks
its own signature, reads the registry, the package and setup.ini, and shows no box (/silent). The
peer is trivial_gui.exe (bench/e2e), a GUI program linked the same way, importing the same system
DLLs, that returns at once.

Two clocks, both printed:
  in Wine     process_timer.exe (bench/e2e) starts each program with CreateProcessA and stops the
              performance counter when the process has ended.
  from shell  `wine PROGRAM ARGUMENTS` as a user's shell starts it, timed on the Unix side; this
              adds Wine's loader start and exit handshake, which come in steps of tens of
              milliseconds.

The last line, "ratio:", is the in-Wine ratio of the fastest runs (best of N): on a shared machine
other work only ever adds time to a run, so the fastest run of each program is the closest to its
own cost. The medians are printed beside it.

Usage:
    bench/e2e/run_time.py [--runs N]
Paths as in tests/e2e/conftest.py (WQD_E2E_BIN, WQD_E2E_HOST_BIN); the prefix is
build/win32/bench-prefix unless WQD_BENCH_PREFIX names another.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import winebench  # noqa: E402


def shell_time(bench, program, arguments):
    started = time.perf_counter()
    code = subprocess.run(["wine", program, *arguments], env=bench.env("en"),
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120).returncode
    return time.perf_counter() - started, code


def wine_times(bench, timer, programs, runs):
    """Milliseconds of every run of every program, measured by process_timer.exe."""
    job = bench.root / "bin" / "timer-job.txt"
    lines = ["runs=%d" % runs]
    for program, arguments, expected in programs:
        lines.append("run=%d|%s|%s" % (expected, program, arguments))
    job.write_text("\n".join(lines) + "\n")
    output = bench.root / "bin" / "timer-output.txt"
    with open(output, "wb") as out:
        code = subprocess.run(["wine", timer, bench.windows_path(job)], env=bench.env("en"),
                              stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                              timeout=600).returncode
    if code != 0:
        sys.exit("run_time.py: process_timer failed: " + output.read_text(errors="replace"))
    times = {}
    for line in output.read_text().splitlines():
        fields = line.split()
        if fields and fields[0].isdigit():
            times[int(fields[0])] = [float(value) for value in fields[1:]]
    return times


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=40)
    options = parser.parse_args()

    win32_bin = Path(os.environ.get("WQD_E2E_BIN") or ROOT / "build" / "win32" / "bin")
    host_bin = Path(os.environ.get("WQD_E2E_HOST_BIN") or ROOT / "build" / "host" / "bin")
    prefix = Path(os.environ.get("WQD_BENCH_PREFIX") or ROOT / "build" / "win32" / "bench-prefix")
    for needed in (win32_bin / "wqdupdate.exe", win32_bin / "trivial_gui.exe",
                   win32_bin / "process_timer.exe", host_bin / "wqupack"):
        if not needed.exists():
            sys.exit("run_time.py: %s is missing; build the host and win32 trees first" % needed)

    bench = winebench.Bench(prefix, win32_bin, host_bin, prefix.parent / "bench-logs")
    bench.start()
    try:
        # An installation whose database is the one the package offers: the run ends UpToDate.
        installation = winebench.Installation(bench, "speed")
        installation.register({"Teskor4ProgramFolder": installation.path(installation.program),
                               "Product": "qn_pro", "SetupVersion": 900})
        installation.write_setup_ini({"part.wqd": "wqd-0701E2", "part.setup": "setup-384"})
        installation.make_package([("wqd", "wqd", "0701E2"), ("setup", "setup", "3B6")])
        installation.place_library()
        updater = bench.root / "bin" / "wqdupdate.exe"
        peer = bench.root / "bin" / "trivial_gui.exe"
        updater.parent.mkdir(parents=True, exist_ok=True)
        updater.write_bytes((win32_bin / "wqdupdate.exe").read_bytes())
        peer.write_bytes((win32_bin / "trivial_gui.exe").read_bytes())
        timer = bench.root / "bin" / "process_timer.exe"
        timer.write_bytes((win32_bin / "process_timer.exe").read_bytes())
        storage = installation.path(installation.storage)

        # In Wine: the same command line the shell's wine passes; the first runs of each warm the
        # file cache and are dropped.
        in_wine = wine_times(bench, bench.windows_path(timer),
                             [(bench.windows_path(updater), '/silent /sfxstorage "%s"' % storage, 1),
                              (bench.windows_path(peer), "", 0)],
                             options.runs + 3)
        # From the shell, dropping the first runs in the same way.
        programs = [(bench.windows_path(updater), ["/silent", "/sfxstorage", storage], 1),
                    (bench.windows_path(peer), [], 0)]
        from_shell = {0: [], 1: []}
        for run in range(options.runs + 3):
            for index, (program, arguments, expected) in enumerate(programs):
                seconds, code = shell_time(bench, program, arguments)
                if code != expected:
                    sys.exit("run_time.py: %s ended with %d, not %d" % (program, code, expected))
                if run >= 3:
                    from_shell[index].append(seconds * 1000)
    finally:
        bench.stop(remove_prefix=True)

    for label, times in (("in Wine", {i: t[3:] for i, t in in_wine.items()}),
                         ("from shell", from_shell)):
        updater_ms, peer_ms = statistics.median(times[0]), statistics.median(times[1])
        print("%-10s  wqdupdate.exe (silent, UpToDate) median %6.1f ms, fastest %6.1f ms"
              % (label, updater_ms, min(times[0])))
        print("%-10s  trivial GUI program              median %6.1f ms, fastest %6.1f ms"
              % ("", peer_ms, min(times[1])))
        print("%-10s  ratio of medians %.2f, of fastest runs %.2f (%d runs each)"
              % ("", updater_ms / peer_ms, min(times[0]) / min(times[1]), len(times[0])))
    print("ratio: %.2f" % (min(in_wine[0][3:]) / min(in_wine[1][3:])))


if __name__ == "__main__":
    main()
