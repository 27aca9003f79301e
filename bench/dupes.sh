#!/usr/bin/env bash
# Cost of duplicate confirmation, on two identical files of SIZE_MB megabytes (default 2048):
#  - first confirmation (empty hash cache) against `cat` of the same files, page cache warm, and
#    cold as well when /proc/sys/vm/drop_caches may be written;
#  - a rescan with the hash cache warm: bytes read per duplicate candidate (rchar).
# Usage: bench/dupes.sh [WORK-DIR]   (run from the source tree after `cmake --build --preset dev`)
set -euo pipefail
cd "$(dirname "$0")/.."
BENCH=${BENCH:-build/bin/brimvale-bench}
SIZE_MB=${SIZE_MB:-2048}
RUNS=${RUNS:-3}
DIR=${1:-$(mktemp -d "${TMPDIR:-/var/tmp}/brimvale-dupes.XXXXXX")}
mkdir -p "$DIR"
A=$DIR/copy-a.bin
B=$DIR/copy-b.bin
CACHE=$DIR/hashes.json

if [[ ! -f $A || $(stat -c %s "$A") -ne $((SIZE_MB * 1024 * 1024)) ]]; then
    echo "creating two identical ${SIZE_MB} MiB files in $DIR" >&2
    head -c "${SIZE_MB}M" /dev/urandom >"$A"
    cp "$A" "$B"
    sync
fi

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
can_drop() { [[ -w /proc/sys/vm/drop_caches ]] && (sync; echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; }
drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }

cat_seconds() {
    local start end
    start=$(now)
    cat "$A" "$B" >/dev/null
    end=$(now)
    echo "$end - $start" | bc -l
}
hash_seconds() {
    rm -f "$CACHE"
    "$BENCH" dupes "$CACHE" "$A" "$B" | tr ' ' '\n' | sed -n 's/^seconds=//p'
}

bytes=$((2 * SIZE_MB * 1024 * 1024))
report() { # label cat-median hash-median
    awk -v l="$1" -v c="$2" -v h="$3" -v b="$bytes" 'BEGIN {
        printf "%s: cat %.0f MB/s (%.3f s), first confirmation %.0f MB/s (%.3f s), ratio %.2f\n",
               l, b / 1e6 / c, c, b / 1e6 / h, h, c / h }'
}

cat "$A" "$B" >/dev/null # warm the page cache
cats=() hashes=()
for ((i = 0; i < RUNS; i++)); do
    cats+=("$(cat_seconds)")
    hashes+=("$(hash_seconds)")
done
report "warm page cache" "$(printf '%s\n' "${cats[@]}" | median)" \
    "$(printf '%s\n' "${hashes[@]}" | median)"

if can_drop; then
    cats=() hashes=()
    for ((i = 0; i < RUNS; i++)); do
        drop
        cats+=("$(cat_seconds)")
        drop
        hashes+=("$(hash_seconds)")
    done
    report "cold page cache" "$(printf '%s\n' "${cats[@]}" | median)" \
        "$(printf '%s\n' "${hashes[@]}" | median)"
else
    echo "cold page cache: not measured (/proc/sys/vm/drop_caches cannot be written)"
fi

rm -f "$CACHE"
echo "first scan:  $("$BENCH" dupes "$CACHE" "$A" "$B")"
echo "rescan:      $("$BENCH" dupes "$CACHE" "$A" "$B")"
[[ -n ${KEEP:-} ]] || rm -rf "$DIR"
