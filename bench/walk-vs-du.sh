#!/usr/bin/env bash
# Times `brimvale-bench walk DIR` against `du -sb DIR` on the same tree: one warm-up run of
# each, then PAIRS alternating pairs (default 5, at least 5). Prints every pair, the median
# walk/du ratio and the walker's peak RSS, and ends non-zero when a target is missed
# (walk <= 0.5x du, peak RSS <= 32 MiB).
#
# With --scan FOLDER, DIR is taken as a home folder and the timed command is instead
# `brimvale-cli scan --no-loose --json --folder FOLDER` with HOME=DIR, against `du -sb` over
# exactly the folders that scan walks (`brimvale-bench roots FOLDER`); the RSS target is 64 MiB.
# Warm the hash cache with one scan first (the warm-up run does that).
#
# Environment: THREADS   walker threads (the walk's THREADS argument; default: its own choice)
#              BRIMVALE_BENCH  the brimvale-bench binary (default: build/bin/brimvale-bench)
set -euo pipefail

usage() {
    echo "usage: $0 [--scan FOLDER] DIR [PAIRS]" >&2
    exit 2
}

scan_folder=
if [[ ${1:-} == --scan ]]; then
    [[ $# -ge 2 ]] || usage
    scan_folder=$2
    shift 2
fi

[[ $# -ge 1 && $# -le 2 ]] || usage
dir=$1
pairs=${2:-5}
[[ -d $dir ]] || { echo "$0: not a folder: $dir" >&2; exit 2; }
[[ $pairs =~ ^[0-9]+$ && $pairs -ge 5 ]] || { echo "$0: PAIRS must be a number >= 5" >&2; exit 2; }

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench=${BRIMVALE_BENCH:-$repo/build/bin/brimvale-bench}
[[ -x $bench ]] || { echo "$0: $bench not built (cmake --preset dev && cmake --build --preset dev --target brimvale-bench)" >&2; exit 2; }
threads=${THREADS:-}

max_ratio=0.5
max_rss_kib=$((32 * 1024))

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

have_time=0
[[ -x /usr/bin/time ]] && have_time=1

# timed NAME CMD...: runs CMD, sets SECONDS_TAKEN (wall, ns resolution) and RSS_KIB (peak RSS,
# "?" when unknown); the command's output goes to $scratch/NAME.out.
timed() {
    local name=$1
    shift
    local start end
    start=$(date +%s%N)
    if ((have_time)); then
        /usr/bin/time -f %M -o "$scratch/$name.rss" "$@" >"$scratch/$name.out" 2>"$scratch/$name.err"
    else
        "$@" >"$scratch/$name.out" 2>"$scratch/$name.err"
    fi
    end=$(date +%s%N)
    SECONDS_TAKEN=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    RSS_KIB="?"
    if ((have_time)); then
        RSS_KIB=$(tail -n 1 "$scratch/$name.rss")
    elif grep -q '^peak_rss_kib ' "$scratch/$name.err"; then
        RSS_KIB=$(awk '/^peak_rss_kib / { print $2 }' "$scratch/$name.err")
    fi
}

if [[ -n $scan_folder ]]; then
    cli=${BRIMVALE_CLI:-$repo/build/bin/brimvale-cli}
    mapfile -t roots < <(HOME=$dir "$bench" roots "$scan_folder")
    ((${#roots[@]} > 0)) || { echo "$0: the scan walks no folder under $dir" >&2; exit 2; }
    walk_cmd=(env HOME="$dir" "$cli" scan --no-loose --json --folder "$scan_folder")
    du_cmd=(du -sb "${roots[@]}")
    max_rss_kib=$((64 * 1024))
    echo "roots:   ${roots[*]}"
else
    walk_cmd=("$bench" walk "$dir")
    [[ -n $threads ]] && walk_cmd+=("$threads")
    ((have_time)) || walk_cmd+=(--rss)
    du_cmd=(du -sb "$dir")
fi

run_walk() { timed walk "${walk_cmd[@]}"; walk_s=$SECONDS_TAKEN; walk_rss=$RSS_KIB; }
run_du() { timed du "${du_cmd[@]}"; du_s=$SECONDS_TAKEN; du_rss=$RSS_KIB; }

mib() {
    if [[ $1 == "?" ]]; then echo "?"; else awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; fi
}
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "tree:    $dir"
echo "walker:  ${walk_cmd[*]}"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) on $(nproc) cores"
run_walk
if [[ -n $scan_folder ]]; then
    echo "scan:    $(wc -c <"$scratch/walk.out") bytes of JSON (warm-up ${walk_s} s)"
else
    echo "walk:    $(cat "$scratch/walk.out")  (entries files bytes newest_mtime; warm-up ${walk_s} s)"
fi
run_du
echo "du -sb:  $(cut -f1 "$scratch/du.out") bytes (warm-up ${du_s} s)"
echo

: >"$scratch/ratios"
: >"$scratch/walks"
: >"$scratch/dus"
peak_rss=0
for ((i = 1; i <= pairs; i++)); do
    # Alternate which runs first, so a drift in machine load hits both sides alike.
    if ((i % 2)); then run_walk; run_du; else run_du; run_walk; fi
    ratio=$(awk -v w="$walk_s" -v d="$du_s" 'BEGIN { printf "%.3f", w / d }')
    echo "$ratio" >>"$scratch/ratios"
    echo "$walk_s" >>"$scratch/walks"
    echo "$du_s" >>"$scratch/dus"
    [[ $walk_rss != "?" && $walk_rss -gt $peak_rss ]] && peak_rss=$walk_rss
    printf 'pair %2d: walk %7.3f s  du %7.3f s  ratio %.3f  walk RSS %s MiB  du RSS %s MiB\n' \
        "$i" "$walk_s" "$du_s" "$ratio" "$(mib "$walk_rss")" "$(mib "$du_rss")"
done

median_ratio=$(median <"$scratch/ratios")
echo
echo "median walk $(median <"$scratch/walks") s, median du $(median <"$scratch/dus") s"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg)"

status=0
if awk -v r="$median_ratio" -v m="$max_ratio" 'BEGIN { exit !(r <= m) }'; then verdict=ok; else verdict=MISSED; status=1; fi
echo "median ratio walk/du: $median_ratio (target <= $max_ratio): $verdict"
if [[ $peak_rss -eq 0 ]]; then
    echo "walker peak RSS: unknown"
else
    if ((peak_rss <= max_rss_kib)); then verdict=ok; else verdict=MISSED; status=1; fi
    echo "walker peak RSS: $(mib "$peak_rss") MiB (target <= $((max_rss_kib / 1024)) MiB): $verdict"
fi
exit $status
