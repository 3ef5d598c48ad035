#!/usr/bin/env bash
# Whole orvanta-query processes beside ripgrep and beside the sqlite3 command
# line on an FTS5 trigram table of the same content, warm:
#   bench/whole-process.sh BIN_DIR COLLECTION_FOLDER [RUNS]
# Runs the commands in turn RUNS times (default 11) and prints the median wall
# time of each in milliseconds; each search's ratio to ripgrep counting one
# word (rg -c -F WORD) over a plain-text dump of every content value, and each
# query class's ratio to the same search through SQLite.
#
# The SQLite contender is built once into COLLECTION_FOLDER/fts5-trigram.db: a
# plain copy of maindata (same rowids, an index on date) and an external-content
# FTS5 table over it with the trigram tokenizer. Words of three or more
# characters go through MATCH; words of one or two characters and words with
# "%" through LIKE on the plain table (the trigram table itself gives no rows
# for them in SQLite 3.40). Before timing, every class is checked to give
# exactly our row count, or the script stops.
# Needs ripgrep and sqlite3 (Debian packages ripgrep, sqlite3).
set -euo pipefail
BIN=$1
DIR=$2
RUNS=${3:-11}
DUMP=$DIR/content-dump.txt
FTS=$DIR/fts5-trigram.db
[ -s "$DUMP" ] || sqlite3 "$DIR/jst.mdb" "select content from maindata" > "$DUMP"
if [ ! -s "$FTS.complete" ]; then
  rm -f "$FTS"
  echo "building $FTS (once)" >&2
  sqlite3 "$FTS" "PRAGMA journal_mode=OFF; PRAGMA cache_size=-262144; ATTACH '$DIR/jst.mdb' AS src;
    CREATE TABLE maindata(subject TEXT, htm TEXT, content TEXT, date TEXT);
    INSERT INTO maindata(rowid, subject, htm, content, date) SELECT rowid, subject, htm, content, date FROM src.maindata;
    CREATE INDEX maindata_newest ON maindata(date DESC, subject, htm);
    CREATE VIRTUAL TABLE ft USING fts5(content, content='maindata', content_rowid='rowid', tokenize='trigram');
    INSERT INTO ft(ft) VALUES('rebuild'); INSERT INTO ft(ft) VALUES('optimize');"
  date > "$FTS.complete"
fi

# One fixed query per class: label, the query as typed, the same rows in SQLite.
classes=(one_char and_2char and_3char word_4to6 percent or_three empty)
declare -A ours fts
ours[one_char]='參'
fts[one_char]="select subject, htm from maindata where content like '%參%' order by date desc"
ours[and_2char]='人參 甘草'
fts[and_2char]="select subject, htm from maindata where content like '%人參%' and content like '%甘草%' order by date desc"
ours[and_3char]='桂枝湯 麻黃湯'
fts[and_3char]="select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"桂枝湯\" AND \"麻黃湯\"') order by date desc"
ours[word_4to6]='當歸芍藥'
fts[word_4to6]="select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"當歸芍藥\"') order by date desc"
ours[percent]='人%參'
fts[percent]="select subject, htm from maindata where content like '%人%參%' order by date desc"
ours[or_three]='+桂枝湯 麻黃湯 當歸芍藥'
fts[or_three]="select subject, htm from maindata where rowid in (select rowid from ft where ft match '\"桂枝湯\" OR \"麻黃湯\" OR \"當歸芍藥\"') order by rowid"
ours[empty]=''
fts[empty]="select subject, htm from maindata order by date desc"

for c in "${classes[@]}"; do
  mine=$("$BIN/orvanta-query" --dir "$DIR" -- "${ours[$c]}" | wc -l)
  theirs=$(sqlite3 "$FTS" "select count(*) from (${fts[$c]})")
  if [ "$mine" != "$theirs" ]; then
    echo "$c: orvanta-query gives $mine rows, SQLite $theirs" >&2
    exit 1
  fi
  echo "$c: $mine rows" >&2
done

names=(rg_one_word and_two_words_scan empty_scan)
commands=(
  "rg -c -F 人參 $DUMP"
  "$BIN/orvanta-query --scan --dir $DIR -- '人參 甘草'"
  "$BIN/orvanta-query --scan --dir $DIR -- ''"
)
for c in "${classes[@]}"; do
  names+=("$c" "${c}_fts5")
  commands+=("$BIN/orvanta-query --dir $DIR -- '${ours[$c]}'" "sqlite3 $FTS \"${fts[$c]}\"")
done
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
  ratio=""
  if [ -n "${fts[$name]+x}" ]; then
    f=$(echo "${samples[${name}_fts5]}" | median)
    ratio=$(awk -v a="$m" -v b="$f" 'BEGIN {printf "%.2f x FTS5", a/b}')
  fi
  printf "%-20s %9s ms  %5s x ripgrep  %s\n" "$name" "$m" "$(awk -v a="$m" -v b="$rg_ms" 'BEGIN {printf "%.2f", a/b}')" "$ratio"
done
