#!/usr/bin/env python3
"""The first open of a Jet file with an empty cache, as a user meets it.

  bench/first-open.py [--busy N [--busy-apart]] [--runs R] ORVANTA_QUERY INSTALL_FOLDER [QUERY]

Runs orvanta-query with XDG_CACHE_HOME in a new empty folder (so the Jet file
is converted and its content index built), optionally beside N busy loops
(`yes >/dev/null`, one per processor for a busy machine), and prints for each
run: the time to the first row, the time until the program ended with the
index in place, its own processor time (user + system, from /usr/bin/time
-v), the peak of its private (anonymous) memory and of its resident size.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import threading
import time


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


def anon_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def one_run(tool, folder, query):
    with tempfile.TemporaryDirectory() as cache:
        env = dict(os.environ, XDG_CACHE_HOME=cache)
        start = time.monotonic()
        proc = subprocess.Popen(["/usr/bin/time", "-v", tool, "--dir", folder, query], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        first = [None]
        rows = [0]

        def drain():
            chunk = proc.stdout.read(1)
            if chunk:
                first[0] = time.monotonic() - start
            while chunk:
                rows[0] += chunk.count(b"\n")
                chunk = proc.stdout.read(1 << 16)

        reader = threading.Thread(target=drain)
        reader.start()
        peak_anon = 0
        while proc.poll() is None:
            for child in children(proc.pid):
                peak_anon = max(peak_anon, anon_kb(child))
            time.sleep(0.05)
        wall = time.monotonic() - start
        reader.join()
        err = proc.stderr.read().decode(errors="replace")
        fields = {}
        for line in err.splitlines():
            key, _, value = line.strip().rpartition(": ")
            fields[key] = value
        cpu = float(fields.get("User time (seconds)", "nan")) + float(fields.get("System time (seconds)", "nan"))
        rss_mb = int(fields.get("Maximum resident set size (kbytes)", "0")) / 1024
        return {"first": first[0], "wall": wall, "cpu": cpu, "anon_mb": peak_anon / 1024, "rss_mb": rss_mb,
                "rows": rows[0], "status": proc.returncode}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--busy", type=int, default=0)
    parser.add_argument("--runs", type=int, default=1)
    # Linux groups the processes of one session (autogroup) and shares the
    # processors between groups first: loops in this session compete with
    # the program inside its own group, loops in sessions of their own as
    # other programs of the machine do.
    parser.add_argument("--busy-apart", action="store_true")
    parser.add_argument("tool")
    parser.add_argument("folder")
    parser.add_argument("query", nargs="?", default="")
    args = parser.parse_args()
    busy = [subprocess.Popen(["yes"], stdout=subprocess.DEVNULL, start_new_session=args.busy_apart)
            for _ in range(args.busy)]
    try:
        with open("/proc/loadavg") as f:
            load = f.read().split()[0]
        for n in range(args.runs):
            r = one_run(args.tool, args.folder, args.query)
            apart = " apart" if args.busy_apart else ""
            print(f"busy loops {args.busy}{apart}  load {load}  first rows {r['first']:.2f} s  exit {r['wall']:.2f} s  "
                  f"cpu {r['cpu']:.2f} s  wall/cpu {r['wall'] / r['cpu']:.2f}  private {r['anon_mb']:.0f} MB  "
                  f"max rss {r['rss_mb']:.0f} MB  rows {r['rows']}  status {r['status']}", flush=True)
    finally:
        for p in busy:
            p.kill()
            p.wait()


if __name__ == "__main__":
    sys.exit(main())
