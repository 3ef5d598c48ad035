#!/usr/bin/env python3
"""First open of a Jet collection, whole processes side by side:
  bench/first-rows.py [--runs N] [--mdb-export] LABEL=BIN_DIR ... [-- FOLDER]

Runs `BIN_DIR/orvanta-query --dir FOLDER ""` for each LABEL in turn, N times
(default 7), each with an empty cache of converted copies (XDG_CACHE_HOME set
to a new folder), and stops it once its first rows are out. Prints for each
the median time to the first byte of output, the processor time it had used
by then (its own and its Jet reader's, user + kernel) and its own peak
memory (VmHWM) then. With --mdb-export, `mdb-export FILE maindata` runs in
the same turns, timed to its end. FOLDER defaults to the tcm-sample fixture.
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

args = sys.argv[1:]
runs = 7
mdb_export = False
folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'shared', 'fixtures', 'tcm-sample')
programs = []
while args:
    a = args.pop(0)
    if a == '--runs':
        runs = int(args.pop(0))
    elif a == '--mdb-export':
        mdb_export = True
    elif a == '--':
        folder = args.pop(0)
    else:
        label, _, bindir = a.partition('=')
        programs.append((label, bindir))
folder = os.path.abspath(folder)
if not programs and not mdb_export:
    sys.exit(__doc__)

ticks = os.sysconf('SC_CLK_TCK')


def cpu_ms(pid):
    # utime, stime, and those of children waited for (the Jet reader)
    fields = open(f'/proc/{pid}/stat').read().rsplit(')', 1)[1].split()
    return sum(int(f) for f in fields[11:15]) * 1000 / ticks


def peak_mb(pid):
    for line in open(f'/proc/{pid}/status'):
        if line.startswith('VmHWM:'):
            return int(line.split()[1]) / 1024
    return 0.0


def first_rows(bindir):
    cache = tempfile.mkdtemp(prefix='first-rows-cache-')
    try:
        env = dict(os.environ, XDG_CACHE_HOME=cache)
        start = time.perf_counter()
        p = subprocess.Popen([os.path.join(bindir, 'orvanta-query'), '--dir', folder, ''], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, env=env, start_new_session=True)
        p.stdout.read(1)
        wall = (time.perf_counter() - start) * 1000
        cpu, peak = cpu_ms(p.pid), peak_mb(p.pid)
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return wall, cpu, peak
    finally:
        shutil.rmtree(cache, ignore_errors=True)


def export():
    start = time.perf_counter()
    p = subprocess.Popen(['mdb-export', os.path.join(folder, 'jst.mdb'), 'maindata'], stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(p.pid, 0)
    return (time.perf_counter() - start) * 1000, (usage.ru_utime + usage.ru_stime) * 1000, None


results = {label: [] for label, _ in programs}
if mdb_export:
    results['mdb-export'] = []
for _ in range(runs):
    for label, bindir in programs:
        results[label].append(first_rows(bindir))
    if mdb_export:
        results['mdb-export'].append(export())

print('load average: %.2f %.2f %.2f; %d runs each' % (os.getloadavg() + (runs,)))
for label, samples in results.items():
    wall = statistics.median(s[0] for s in samples)
    line = f'{label:<16} first rows {wall:7.0f} ms'
    line += '   processor %5.0f ms' % statistics.median(s[1] for s in samples)
    if label == 'mdb-export':
        line += '   (to its end)  '
    else:
        line += '   peak %5.1f MB' % statistics.median(s[2] for s in samples)
    print(line + '   runs: ' + ' '.join('%.0f' % s[0] for s in samples))
