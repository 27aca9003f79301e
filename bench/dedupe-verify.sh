#!/usr/bin/env bash
# Cost of freeing a duplicate by a hard link (`dedupe --hard-link`): both files are hashed again
# right before the swap. Times that verify-and-swap (DedupeService::run) against `cmp` of the
# same two files of SIZE_MB megabytes (default 1024) of random data, page cache warm and cold
# (only these two files are evicted, with posix_fadvise, not the whole cache). RUNS rounds
# (default 3); each swap is undone by writing the copy afresh.
# Usage: bench/dedupe-verify.sh [WORK-DIR]   (from the source tree, after building brimvale-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
BENCH=${BENCH:-build/bin/brimvale-bench}
SIZE_MB=${SIZE_MB:-1024}
RUNS=${RUNS:-3}
DIR=${1:-$(mktemp -d "${TMPDIR:-/var/tmp}/brimvale-dedupe.XXXXXX")}
mkdir -p "$DIR"
KEEP=$DIR/keep.bin
COPY=$DIR/copy.bin

fresh_copy() { # a file of its own (dd writes it; cp could share the blocks)
    rm -f "$COPY"
    dd if="$KEEP" of="$COPY" bs=4M status=none conv=fsync
}
if [[ ! -f $KEEP || $(stat -c %s "$KEEP") -ne $((SIZE_MB * 1024 * 1024)) ]]; then
    echo "creating two identical ${SIZE_MB} MiB files in $DIR" >&2
    head -c "${SIZE_MB}M" /dev/urandom >"$KEEP"
fi

cmp_line() { # warm|cold
    local start end
    [[ $1 == cold ]] && "$BENCH" evict "$KEEP" "$COPY"
    start=$(date +%s.%N)
    cmp "$KEEP" "$COPY"
    end=$(date +%s.%N)
    awk -v s="$(echo "$end - $start" | bc -l)" -v b=$((SIZE_MB * 1024 * 1024)) -v l="$1" \
        'BEGIN { printf "%s page cache: cmp %.3f s, %.3f s/GB\n", l, s, s / (b / 1e9) }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < RUNS; i++)); do
    for mode in warm cold; do
        fresh_copy
        [[ $mode == warm ]] && cat "$KEEP" "$COPY" >/dev/null
        cmp_line $mode
        if [[ $mode == cold ]]; then
            "$BENCH" dedupe "$KEEP" "$COPY" --cold
        else
            "$BENCH" dedupe "$KEEP" "$COPY"
        fi
    done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
[[ -n ${KEEP_FILES:-} ]] || rm -rf "$DIR"
