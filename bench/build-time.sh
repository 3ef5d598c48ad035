#!/bin/bash
# Times whole orvanta-build runs with the content index and without it
# (--no-content-index), alternating, each writing into a freshly made ext4
# file system: a loop-mounted image, made anew for every run.
#
# Why a fresh file system: a build creates one file per document, and on a
# file system where many such files were recently deleted (earlier builds),
# ext4's search for free inodes can take more system time than the whole
# rest of the build, and a different amount each time.
#
#   sudo bench/build-time.sh BIN_DIR SAMPLE [ROUNDS] [IMAGE_SIZE]
#   sudo bench/build-time.sh build/ci/bin 1000000 2 16G
#
# Needs root (mount), mkfs.ext4 and GNU time. The image lies in $TMPDIR (or
# /var/tmp) and is removed afterwards; the caches are dropped before each run.
set -euo pipefail
bin=${1:?BIN_DIR}
sample=${2:?SAMPLE}
rounds=${3:-3}
size=${4:-16G}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/orvanta-build-time.XXXXXX")
image=$work/fs.img
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
    umount "$mnt" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

one() { # label, options...
    local label=$1
    shift
    rm -f "$image"
    truncate -s "$size" "$image"
    mkfs.ext4 -q -F -N 1500000 "$image"
    mount -o loop "$image" "$mnt"
    sync
    echo 3 > /proc/sys/vm/drop_caches
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$bin/orvanta-build" "$@" --sample "$sample" "$mnt/c" > /dev/null
    read -r wall user sys kb < "$work/time"
    printf '%-8s %8.1f s wall %7.1f s user %7.1f s sys %8d KB\n' "$label" "$wall" "$user" "$sys" "$kb"
    echo "$label $wall" >> "$work/walls"
    umount "$mnt"
}

for round in $(seq 1 "$rounds"); do
    one with
    one without --no-content-index
done

# Medians of the wall times, and their ratio.
median() { grep "^$1 " "$work/walls" | awk '{print $2}' | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
with=$(median with)
without=$(median without)
awk -v a="$with" -v b="$without" 'BEGIN { printf "median wall: %.1f s with the index, %.1f s without: %.2fx\n", a, b, a / b }'
