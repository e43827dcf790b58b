#!/usr/bin/env python3
"""Times whole-process extraction of each benchmark archive by imu-unzip and its
peers, several rounds each, into a tmpfs folder, and prints medians, the ratio
of imu-unzip's time to each peer's and the peak resident memory of each tool.

usage: bench-measure.py IMU_UNZIP RUNS OUT_DIR [--floor-gzip GZ] NAME=ARCHIVE...

With --floor-gzip, input A is also measured against the floor: the user time
of libdeflate-gunzip decompressing GZ (a gzip of the same content as A) next to
imu-unzip's user time on A, in the same rounds.

The tools take turns within each round, so that load from elsewhere on the
machine falls on all of them alike. A first, untimed round warms the page cache
and checks that every tool extracts the same number of files and bytes.
"""
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import time

# imu-unzip's time over the peer's time that each input must not exceed.
TARGETS = {
    "A": {"bsdtar": 1.0, "unzip": 0.5},
    "B": {"bsdtar": 0.75},
    "C": {"unzip": 0.7},
}
STRETCH = {"A": {"bsdtar": 0.9}}
PEAK_MEMORY_TARGET_KIB = 16 * 1024
# imu-unzip's user time on A over libdeflate-gunzip's on the same content: the
# decoder against the fastest one known, file writes left out of both.
FLOOR_TARGET = 1.3
FLOOR_TOOL = "libdeflate"


def commands(imu, archive, out):
    return {
        "imu-unzip": [imu, archive, "-d", out],
        "unzip": ["unzip", "-o", "-q", archive, "-d", out],
        "bsdtar": ["bsdtar", "-xf", archive, "-C", out],
        "7z": ["7z", "x", "-y", "-bd", "-o" + out, archive],
    }


def run_once(cmd, out):
    """Wall time and user time in seconds, peak resident memory in KiB and exit status of one run."""
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    # GNU time reports the peak of the program alone; the rusage of a child
    # forked from this interpreter would count the interpreter's pages too.
    peak_file = os.path.join(os.path.dirname(out), "peak")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The rusage of GNU time includes the program it waited for; its own share
    # is a millisecond or so.
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    rc = os.waitstatus_to_exitcode(status)
    with open(peak_file) as f:
        peak = int(f.read().split()[-1])
    return elapsed, usage.ru_utime, peak, rc


def tree_summary(root):
    """Number of files, total bytes and a digest of the names and contents."""
    files = 0
    total = 0
    digest = hashlib.sha1()
    for folder, dirs, names in os.walk(root):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                files += 1
                total += os.path.getsize(path)
                digest.update(os.path.relpath(path, root).encode("utf-8", "surrogateescape") + b"\0")
                with open(path, "rb") as f:
                    digest.update(hashlib.sha1(f.read()).digest())
    return files, total, digest.hexdigest()[:12]


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    imu, runs, out_root = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    rest = sys.argv[4:]
    floor_gzip = None
    if rest[:1] == ["--floor-gzip"]:
        floor_gzip, rest = rest[1], rest[2:]
    inputs = [arg.split("=", 1) for arg in rest]
    out = os.path.join(out_root, "x")
    summary = []
    for name, archive in inputs:
        cmds = commands(imu, archive, out)
        tools = list(cmds)
        with_floor = name == "A" and floor_gzip is not None
        if with_floor:
            cmds[FLOOR_TOOL] = ["libdeflate-gunzip", "-c", floor_gzip]
        print("\n== %s: %s (%.1f MB)" % (name, archive, os.path.getsize(archive) / 1e6), flush=True)

        # Warm-up round, with a check of what each tool produced.
        reference = None
        status = {}
        for tool in ["unzip"] + [t for t in tools if t != "unzip"]:
            _, _, _, rc = run_once(cmds[tool], out)
            status[tool] = rc
            got = tree_summary(out)
            if reference is None:
                reference = got
            note = "" if got == reference else "  (differs from unzip's output)"
            print("   warm-up %-9s exit %d, %d files, %d bytes, digest %s%s" % ((tool, rc) + got + (note,)),
                  flush=True)

        if with_floor:
            # Its output goes nowhere (stdout is discarded), so only the exit is checked here.
            _, _, _, status[FLOOR_TOOL] = run_once(cmds[FLOOR_TOOL], out)
        timed = tools + ([FLOOR_TOOL] if with_floor else [])
        times = {tool: [] for tool in timed}
        user = {tool: [] for tool in timed}
        peaks = {tool: 0 for tool in timed}
        for round_no in range(runs):
            order = timed[round_no % len(timed):] + timed[:round_no % len(timed)]
            for tool in order:
                elapsed, user_s, peak, rc = run_once(cmds[tool], out)
                times[tool].append(elapsed)
                user[tool].append(user_s)
                peaks[tool] = max(peaks[tool], peak)
                status[tool] = status[tool] or rc
        shutil.rmtree(out, ignore_errors=True)

        imu_median = statistics.median(times["imu-unzip"])
        print("   %-9s %9s %9s %9s %9s %12s %8s  %s" % ("tool", "median s", "min s", "max s", "user s",
                                                        "imu/tool", "peak MiB", "exit"))
        for tool in tools:
            median = statistics.median(times[tool])
            ratio = imu_median / median if median > 0 else float("nan")
            print("   %-9s %9.3f %9.3f %9.3f %9.3f %12.3f %8.1f  %d" % (
                tool, median, min(times[tool]), max(times[tool]), statistics.median(user[tool]), ratio,
                peaks[tool] / 1024, status[tool]))
            summary.append((name, tool, median, ratio, peaks[tool], status[tool]))
        for peer, limit in TARGETS.get(name, {}).items():
            ratio = imu_median / statistics.median(times[peer])
            verdict = "met" if ratio <= limit else "NOT met"
            line = "   target %s: imu-unzip <= %.2f x %s: %.3f, %s" % (name, limit, peer, ratio, verdict)
            stretch = STRETCH.get(name, {}).get(peer)
            if stretch is not None:
                line += "; stretch %.1f %s" % (stretch, "met" if ratio <= stretch else "not met")
            print(line)
        if with_floor:
            imu_user = statistics.median(user["imu-unzip"])
            floor_user = statistics.median(user[FLOOR_TOOL])
            ratio = imu_user / floor_user if floor_user > 0 else float("nan")
            print("   floor %s: user s imu-unzip %.3f, libdeflate-gunzip %.3f (exit %d): %.3f x, target <= %.1f %s" % (
                name, imu_user, floor_user, status[FLOOR_TOOL], ratio, FLOOR_TARGET,
                "met" if ratio <= FLOOR_TARGET else "NOT met"))
        peak = peaks["imu-unzip"]
        print("   target %s: imu-unzip peak memory %.1f MiB <= 16 MiB: %s" % (
            name, peak / 1024, "met" if peak <= PEAK_MEMORY_TARGET_KIB else "NOT met"))
    print("\nruns per tool: %d (medians of these; peak memory is the highest of them)" % runs)


if __name__ == "__main__":
    main()
