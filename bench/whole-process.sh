#!/usr/bin/env bash
# Whole orvanta-query processes beside ripgrep on the same content, warm:
#   bench/whole-process.sh BIN_DIR COLLECTION_FOLDER [RUNS]
# Runs the commands in turn RUNS times (default 11) and prints the median wall
# time of each in milliseconds, and each search's ratio to ripgrep counting one
# word (rg -c -F WORD) over a plain-text dump of every content value.
# Needs ripgrep and sqlite3 (Debian packages ripgrep, sqlite3).
set -euo pipefail
BIN=$1
DIR=$2
RUNS=${3:-11}
DUMP=$DIR/content-dump.txt
[ -s "$DUMP" ] || sqlite3 "$DIR/jst.mdb" "select content from maindata" > "$DUMP"

names=(rg_one_word and_two_words and_two_words_scan empty empty_scan)
commands=(
  "rg -c -F 人參 $DUMP"
  "$BIN/orvanta-query --dir $DIR -- '人參 甘草'"
  "$BIN/orvanta-query --scan --dir $DIR -- '人參 甘草'"
  "$BIN/orvanta-query --dir $DIR -- ''"
  "$BIN/orvanta-query --scan --dir $DIR -- ''"
)
declare -A samples
for _ in $(seq "$RUNS"); do
  for i in "${!names[@]}"; do
    start=$(date +%s%N)
    eval "${commands[$i]}" > /dev/null 2>&1 || true
    samples[${names[$i]}]+="$(( ($(date +%s%N) - start) / 1000 )) "
  done
done
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $(sqlite3 "$DIR/jst.mdb" 'select count(*) from maindata') documents; $RUNS runs each"
rg_ms=$(echo "${samples[rg_one_word]}" | median)
for name in "${names[@]}"; do
  m=$(echo "${samples[$name]}" | median)
  printf "%-20s %9s ms  %5s x ripgrep\n" "$name" "$m" "$(awk -v a="$m" -v b="$rg_ms" 'BEGIN {printf "%.2f", a/b}')"
done
