#!/usr/bin/env bash
# A folded search (--variants) beside the exact one: the same two-word ANDs,
# in process (median of orvanta-query's own search_ms over the later runs of
# --repeat) and as whole processes (median wall time), alternating.
#   bench/variants.sh BIN_DIR COLLECTION_DIR [RUNS]
set -euo pipefail
BIN=$1 DIR=$2 RUNS=${3:-11}
exec python3 - "$BIN/orvanta-query" "$DIR" "$RUNS" <<'PY'
import statistics, subprocess, sys, time
query, folder, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
words = ["人參 甘草", "當歸 川芎"]

def in_process(q, extra):
    r = subprocess.run([query, "--dir", folder, "--repeat", "15", *extra, "--", q],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    ms = [float(l.split()[0].split("=")[1]) for l in r.stderr.splitlines() if l.startswith("search_ms=")]
    rows = {l.split()[1] for l in r.stderr.splitlines() if l.startswith("search_ms=")}
    return statistics.median(ms[1:]), rows.pop()

def whole(q, extra):
    t = time.perf_counter()
    subprocess.run([query, "--dir", folder, *extra, "--", q], stdout=subprocess.DEVNULL, check=True)
    return (time.perf_counter() - t) * 1000

for q in words:
    exact, folded, exact_w, folded_w = [], [], [], []
    for _ in range(runs):
        e, erows = in_process(q, [])
        f, frows = in_process(q, ["--variants"])
        exact.append(e); folded.append(f)
        exact_w.append(whole(q, [])); folded_w.append(whole(q, ["--variants"]))
    e, f = statistics.median(exact), statistics.median(folded)
    ew, fw = statistics.median(exact_w), statistics.median(folded_w)
    print(f"{q}: in process {e:.2f} ms exact ({erows}), {f:.2f} ms folded ({frows}): {f/e:.2f}x; "
          f"whole process {ew:.1f} ms, {fw:.1f} ms: {fw/ew:.2f}x")
PY
