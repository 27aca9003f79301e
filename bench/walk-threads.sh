#!/usr/bin/env bash
# Compares walker thread counts on one tree: after a warm-up, ROUNDS rounds (default 7) each run
# `du -sb DIR` once and `brimvale-bench walk DIR T` once per thread count, in an order that
# rotates from round to round. Prints every round's wall times and, per thread count, the
# median ratio to the du of the same round and the median wall time.
#
# usage: bench/walk-threads.sh DIR [ROUNDS] [THREAD COUNTS...]   (default counts: 2 3 4 6 8)
# Environment: BRIMVALE_BENCH  the brimvale-bench binary (default: build/bin/brimvale-bench)
set -euo pipefail

[[ $# -ge 1 ]] || { echo "usage: $0 DIR [ROUNDS] [THREAD COUNTS...]" >&2; exit 2; }
dir=$1
rounds=${2:-7}
shift $(($# >= 2 ? 2 : 1))
counts=("$@")
((${#counts[@]})) || counts=(2 3 4 6 8)
[[ -d $dir ]] || { echo "$0: not a folder: $dir" >&2; exit 2; }
[[ $rounds =~ ^[0-9]+$ && $rounds -ge 1 ]] || { echo "$0: ROUNDS must be a positive number" >&2; exit 2; }
for t in "${counts[@]}"; do
    [[ $t =~ ^[0-9]+$ && $t -ge 1 ]] || { echo "$0: bad thread count: $t" >&2; exit 2; }
done

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=${BRIMVALE_BENCH:-$repo/build/bin/brimvale-bench}
[[ -x $bench ]] || { echo "$0: $bench not built" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

ms() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

du -sb "$dir" >/dev/null
"$bench" walk "$dir" >/dev/null
echo "tree: $dir; load $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; times in ms"

runs=(du "${counts[@]}")
n=${#runs[@]}
for ((r = 0; r < rounds; r++)); do
    declare -A took=()
    line=$(printf 'round %2d:' "$((r + 1))")
    for ((k = 0; k < n; k++)); do
        what=${runs[$(((k + r) % n))]}
        if [[ $what == du ]]; then
            took[du]=$(ms du -sb "$dir")
        else
            took[$what]=$(ms "$bench" walk "$dir" "$what")
        fi
        line+=" $what=${took[$what]}"
    done
    echo "$line  (load $(cut -d' ' -f1 /proc/loadavg))"
    echo "${took[du]}" >>"$scratch/du"
    for t in "${counts[@]}"; do
        echo "${took[$t]}" >>"$scratch/walk$t"
        awk -v w="${took[$t]}" -v d="${took[du]}" 'BEGIN { printf "%.3f\n", w / d }' >>"$scratch/ratio$t"
    done
    unset took
done

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "du: median $(median <"$scratch/du") ms"
for t in "${counts[@]}"; do
    echo "threads $t: median ratio $(median <"$scratch/ratio$t"), median walk $(median <"$scratch/walk$t") ms"
done
