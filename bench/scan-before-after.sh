#!/usr/bin/env bash
# A full scan by two builds of brimvale-cli, run alternately on one home: one warm-up run of
# each, then PAIRS pairs (default 5), alternating which build goes first. Each run is
# `scan --no-loose --json --folder HOME/Models-archive` with HOME pointed at the home and the
# XDG folders at a temporary one (so the hash cache is shared by both builds and the home stays
# as it was). Prints each run's wall and CPU time, then the medians per build.
# Usage: bench/scan-before-after.sh BEFORE-CLI AFTER-CLI HOME [PAIRS]
set -euo pipefail
before=$1 after=$2 home=$3 pairs=${4:-5}
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export HOME=$home XDG_CACHE_HOME=$state/cache XDG_CONFIG_HOME=$state/config \
  XDG_DATA_HOME=$state/data XDG_STATE_HOME=$state/state
run() { # CLI -> "wall cpu" in seconds
    local start end cpu
    start=$(date +%s.%N)
    /usr/bin/time -o "$state/time" -f '%U %S' "$1" scan --no-loose --json \
        --folder "$home/Models-archive" >/dev/null 2>&1
    cpu=$(tail -1 "$state/time")
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v c="$cpu" 'BEGIN { split(c, t, " "); printf "%.3f %.3f\n", e - s, t[1] + t[2] }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
run "$before" >/dev/null
run "$after" >/dev/null
: >"$state/before" && : >"$state/after"
for ((i = 0; i < pairs; i++)); do
    order=(before after)
    ((i % 2)) && order=(after before)
    for which in "${order[@]}"; do
        cli=$before
        [[ $which == after ]] && cli=$after
        line=$(run "$cli")
        echo "$line" >>"$state/$which"
        echo "pair $((i + 1)) $which: wall ${line% *} s, cpu ${line#* } s"
    done
done
for which in before after; do
    echo "$which: median wall $(cut -d' ' -f1 "$state/$which" | median) s," \
        "median cpu $(cut -d' ' -f2 "$state/$which" | median) s"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
