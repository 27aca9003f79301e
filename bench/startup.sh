#!/usr/bin/env bash
# Start-up of the desktop app on the demo home under Xvfb: time until the main window is on
# screen and until the first scan is shown. Runs RUNS times (default 5) after one warm-up.
#   bench/startup.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
root=$(./scripts/demo-home)
home=$root/home
trap 'rm -rf "$root"' EXIT
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache \
  XDG_CONFIG_HOME=$home/.config XDG_STATE_HOME=$home/.local/state XDG_RUNTIME_DIR=$root/run
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
  for i in $(seq 0 "$0"); do
    out=$(BRIMVALE_STARTUP_TIMES=1 build/bin/brimvale 2>/dev/null)
    [ "$i" -eq 0 ] || echo "$out" | tr "\n" " " && echo
  done' "$runs"
